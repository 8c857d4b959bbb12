#pragma once
// The cores of the first processor, which the program reaches one by one: each
// core has its own copy of the MSRs it reads and writes, and the processor
// wants every core programmed alike. Every loop over cores goes through here,
// so that which cores there are is decided in one place.

#include <algorithm>
#include <cstdint>

#include "cpu/processor_profile.h"
#include "hw/bitfield.h"
#include "hw/register_write.h"

// The cores are 0 .. coreCount - 1, and core 0 at least, also for a profile
// that has not counted its cores: core 0 is the one the probe has read.
inline std::int32_t reachedCoreCount(const ProcessorProfile& profile)
{
    return std::max<std::int32_t>(profile.coreCount, 1);
}

// visit(core) for every core in turn, core 0 first. An exception from visit
// ends the walk there.
template <typename Visit>
void forEachCore(const ProcessorProfile& profile, Visit visit)
{
    for (std::int32_t core = 0; core < reachedCoreCount(profile); ++core)
        visit(core);
}

// The same for every core but core 0, whose registers describe the processor
// and have been read already: the others are checked against it.
template <typename Visit>
void forEachOtherCore(const ProcessorProfile& profile, Visit visit)
{
    for (std::int32_t core = 1; core < reachedCoreCount(profile); ++core)
        visit(core);
}

// One read-modify-write of msr on each core in turn, core 0 first, each write
// read back before the next core: every core keeps its own bits outside the
// fields modify replaces (it returns the new value and those fields). When
// modify throws on a core, or a core does not take its write, that core's
// register as read and every later core stay as they were.
template <typename Modify>
void modifyMsrOnEveryCore(const ProcessorProfile& profile, std::uint32_t msr, Modify modify)
{
    forEachCore(profile, [&](std::int32_t core) { modifyMsr(core, msr, modify); });
}
