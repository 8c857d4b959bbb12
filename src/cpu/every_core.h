#pragma once
// The cores of the first processor, which the program reaches one by one: each
// core has its own copy of the MSRs it writes, and the processor wants every
// core programmed alike.

#include <algorithm>
#include <cstdint>

#include "cpu/processor_profile.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/register_write.h"

// How many cores a write goes to: core 0 at least, also for a profile that
// has not counted its cores.
inline std::int32_t coresToWrite(const ProcessorProfile& profile)
{
    return std::max<std::int32_t>(profile.coreCount, 1);
}

// One read-modify-write of msr on each core in turn, core 0 first, each write
// read back before the next core: every core keeps its own bits outside the
// fields modify replaces (it returns the new value and those fields). When
// modify throws on a core, or a core does not take its write, that core's
// register as read and every later core stay as they were.
template <typename Modify>
void modifyMsrOnEveryCore(const ProcessorProfile& profile, std::uint32_t msr, Modify modify)
{
    for (std::int32_t core = 0; core < coresToWrite(profile); ++core) {
        const bits::Rewrite<std::uint64_t> after = modify(readMsr(core, msr));
        writeMsrChecked(core, msr, after.value, after.fields);
    }
}
