#include <gtest/gtest.h>

#include "hw/bitfield.h"

namespace {

TEST(BitField, GetAndSet)
{
    struct Case {
        std::uint64_t value;
        unsigned hi, lo;
        std::uint64_t field;
        std::uint64_t got;
        std::uint64_t after;
    };
    const Case cases[] = {
        {0x8000019A4840404Eull, 8, 0, 0x004, 0x04E, 0x8000019A48404004ull},
        {0x0ull, 63, 63, 1, 0, 0x8000000000000000ull},
        {~0ull, 63, 0, 0, ~0ull, 0},
        {0x0ull, 15, 9, 0xFFF, 0, 0xFE00ull}, // cut to the field's width
        {0xFFFFull, 3, 0, 0x10, 0xF, 0xFFF0ull},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bits::get(c.value, c.hi, c.lo), c.got) << c.hi << ".." << c.lo;
        EXPECT_EQ(bits::set(c.value, c.hi, c.lo, c.field), c.after) << c.hi << ".." << c.lo;
        EXPECT_EQ(bits::get(c.value, bits::Field{c.hi, c.lo}), c.got) << c.hi << ".." << c.lo;
        EXPECT_EQ(bits::set(c.value, bits::Field{c.hi, c.lo}, c.field), c.after) << c.hi << ".." << c.lo;
    }
    EXPECT_EQ(bits::set(std::uint32_t{0xFFFFFFFF}, 21, 21, 0), 0xFFDFFFFFu);
    EXPECT_TRUE(bits::test(std::uint32_t{0x200}, 9));
    EXPECT_FALSE(bits::test(std::uint32_t{0x200}, bits::bit(8)));
}

} // namespace
