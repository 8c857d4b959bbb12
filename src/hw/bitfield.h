#pragma once
// The one way this program looks at or changes bits of a register value.
// Every field is named by its inclusive bit range hi..lo, as the processor
// documentation numbers them, so no hand-written masks appear elsewhere. Each
// register names its fields once, as Field constants beside the code that owns
// the register; the hi, lo forms are what those constants stand for.

#include <cstdint>
#include <type_traits>

namespace bits {

// A value with bits hi..lo set.
constexpr std::uint64_t mask(unsigned hi, unsigned lo)
{
    const unsigned width = hi - lo + 1;
    const std::uint64_t ones = width >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1;
    return ones << lo;
}

// Bits hi..lo of value, shifted down to bit 0.
template <typename T>
constexpr T get(T value, unsigned hi, unsigned lo)
{
    static_assert(std::is_unsigned<T>::value, "register values are unsigned");
    return static_cast<T>((static_cast<std::uint64_t>(value) & mask(hi, lo)) >> lo);
}

// Bit n of value.
template <typename T>
constexpr bool test(T value, unsigned n)
{
    return get(value, n, n) != 0;
}

// value with bits hi..lo replaced by field, cut to the width of hi..lo so that it
// never reaches a neighbouring bit; every other bit stays as it was.
template <typename T>
constexpr T set(T value, unsigned hi, unsigned lo, std::uint64_t field)
{
    static_assert(std::is_unsigned<T>::value, "register values are unsigned");
    const std::uint64_t m = mask(hi, lo);
    return static_cast<T>((static_cast<std::uint64_t>(value) & ~m) | ((field << lo) & m));
}

// A register field: bits hi..lo, inclusive.
struct Field {
    unsigned hi;
    unsigned lo;
};

// A field of one bit.
constexpr Field bit(unsigned n)
{
    return Field{n, n};
}

// A value with the bits of field set: which bits a write replaced.
constexpr std::uint64_t mask(Field field)
{
    return mask(field.hi, field.lo);
}

template <typename T>
constexpr T get(T value, Field field)
{
    return get(value, field.hi, field.lo);
}

// Whether any bit of the field is set; for a one-bit field, that bit.
template <typename T>
constexpr bool test(T value, Field field)
{
    return get(value, field) != 0;
}

template <typename T>
constexpr T set(T value, Field field, std::uint64_t fieldValue)
{
    return set(value, field.hi, field.lo, fieldValue);
}

// A register value changed field by field, with the bits of every field
// replaced so far: what a read-back after writing the value compares.
template <typename T>
struct Rewrite {
    T value{};
    std::uint64_t fields = 0;
};

template <typename T>
constexpr void replace(Rewrite<T>& rewrite, Field field, std::uint64_t fieldValue)
{
    rewrite.value = set(rewrite.value, field, fieldValue);
    rewrite.fields |= mask(field);
}

} // namespace bits
