#pragma once
// The operating system's list of CPUs as Linux writes it in sysfs
// (/sys/devices/system/cpu/present, .../online): ranges and single numbers,
// ascending, separated by commas, "0-5,8,10-11", ending in a newline. The
// device code reads it; a machine file holds it, as Linux numbers its CPUs.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The CPU numbers of text, ascending; false when text is not such a list, or
// names a CPU at or above kCpuListLimit (beyond any kernel's count, and a cap
// on what a corrupt file can make this program allocate).
constexpr std::int32_t kCpuListLimit = 1 << 16;

inline bool parseCpuList(const std::string& text, std::vector<std::int32_t>& cpus)
{
    cpus.clear();
    std::size_t i = 0;
    const auto number = [&text, &i](std::int32_t& value) {
        const std::size_t start = i;
        value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + (text[i] - '0');
            if (value >= kCpuListLimit)
                return false;
            ++i;
        }
        return i > start;
    };
    std::size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n')
        --end;
    if (end == 0)
        return true; // an empty list; the caller judges whether that may be
    while (i < end) {
        std::int32_t first = 0;
        if (!number(first))
            return false;
        std::int32_t last = first;
        if (i < end && text[i] == '-') {
            ++i;
            if (!number(last) || last < first)
                return false;
        }
        // Ascending and without repetition, as the kernel writes it.
        if (!cpus.empty() && first <= cpus.back())
            return false;
        for (std::int32_t cpu = first; cpu <= last; ++cpu)
            cpus.push_back(cpu);
        if (i < end && text[i] == ',' && i + 1 < end)
            ++i;
        else if (i != end)
            return false;
    }
    return true;
}

// numbers, ascending, as such a list without the newline: "0-7,16-23".
inline std::string cpuListText(const std::vector<std::int32_t>& numbers)
{
    std::string text;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t last = i;
        while (last + 1 < numbers.size() && numbers[last + 1] == numbers[last] + 1)
            ++last;
        text += (text.empty() ? "" : ",") + std::to_string(numbers[i]);
        if (last > i)
            text += "-" + std::to_string(numbers[last]);
        i = last + 1;
    }
    return text;
}
