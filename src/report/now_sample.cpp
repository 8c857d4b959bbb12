#include "report/now_sample.h"

#include "control/active_pstate.h"
#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/temperature.h"
#include "hw/device.h"

NowSample readNow(const ProcessorProfile& profile)
{
    NowSample sample;
    for (const SystemCpu& cpu : profileCpus(profile)) {
        CoreNow core;
        core.core = cpu.number;
        core.online = cpu.online;
        if (cpu.online)
            core.pstate = currentPstate(cpu.number);
        sample.cores.push_back(core);
    }
    const std::int32_t registers = familyTraits(profile).pstateRegisterCount;
    for (CoreNow& core : sample.cores) {
        if (!core.online)
            continue;
        core.boosted = profile.boostSupported && core.pstate < profile.boostStateCount;
        // A current P-state the family has no register for reads as none,
        // not as a device failure.
        if (core.pstate < registers)
            core.definition =
                decodeCorePstate(profile, core.pstate, readMsr(core.core, corePstateMsr(core.pstate)));
    }
    forEachNode(profile, [&](std::int32_t node) { sample.nodes.push_back(NodeNow{node, readTctl(profile, node)}); });
    return sample;
}
