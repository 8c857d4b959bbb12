#include "cli/apply_changes.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <vector>

#include "control/active_pstate.h"
#include "control/boost.h"
#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "hw/device.h"
#include "pstate/core_pstate.h"
#include "pstate/multiplier_encoding.h"
#include "pstate/nb_pstate.h"
#include "pstate/nb_vid_carry.h"

namespace {

// A request field is set when it is not negative; a NaN multiplier is not.
bool isSet(std::int32_t field)
{
    return field >= 0;
}

bool isSet(double multiplier)
{
    return multiplier >= 0.0;
}

bool isModified(const CorePstate& request)
{
    return isSet(request.multiplier) || isSet(request.vid) || isSet(request.nbPstate) || isSet(request.nbVid);
}

bool isModified(const NbPstate& request)
{
    return isSet(request.multiplier) || isSet(request.vid);
}

bool isModifiedPstate(const std::vector<CorePstate>& corePstates, std::int32_t pstate)
{
    // The current P-state comes from the hardware; one past the enabled ones has
    // no request and so counts as not modified.
    return pstate >= 0 && static_cast<std::size_t>(pstate) < corePstates.size()
        && isModified(corePstates[static_cast<std::size_t>(pstate)]);
}

// On each core: a requested P-state is switched to; otherwise a modified
// current P-state is left and, after one pause for all such cores, entered
// again, so that it takes effect. Every core's current P-state is read before
// any core is switched, so that no request changes what a later core reads.
void switchPstates(const ProcessorProfile& profile, const ChangeSet& changes,
                   const std::vector<CorePstate>& corePstates)
{
    const std::int32_t cores = coresToWrite(profile);
    std::vector<std::int32_t> current(static_cast<std::size_t>(cores));
    for (std::int32_t core = 0; core < cores; ++core)
        current[static_cast<std::size_t>(core)] = currentPstate(core);

    std::vector<std::int32_t> sentAway;
    for (std::int32_t core = 0; core < cores; ++core) {
        const std::int32_t pstate = current[static_cast<std::size_t>(core)];
        if (isSet(changes.targetPstate) && changes.targetPstate != pstate) {
            activatePstate(profile, core, changes.targetPstate);
        } else if (isModifiedPstate(corePstates, pstate)) {
            activatePstate(profile, core, awayPstate(profile, pstate));
            sentAway.push_back(core);
        }
    }
    if (sentAway.empty())
        return;
    ::sleep(1);
    for (const std::int32_t core : sentAway)
        activatePstate(profile, core, current[static_cast<std::size_t>(core)]);
}

} // namespace

void warnOrRefuseBeforeAnyAccess(const ProcessorProfile& profile, const ChangeSet& changes)
{
    for (const UnsupportedRequest& request : changes.unsupported)
        std::cerr << "WARNING: " << request.token << ": " << request.reason << ", left unchanged" << std::endl;

    // A refusal in the middle of the core P-states would leave some written and
    // some not; this one is known from the profile alone.
    for (const CorePstate& request : changes.corePstates) {
        if (isSet(request.multiplier)) {
            requireEncodableMultipliers(profile);
            break;
        }
    }
}

void applyChanges(const ProcessorProfile& profile, const ChangeSet& changes)
{
    warnOrRefuseBeforeAnyAccess(profile, changes);

    const FamilyTraits& traits = familyTraits(profile);

    // Every core is written, so a core whose device cannot be opened (offline,
    // or the module missing) must stop the run before the first write, not
    // leave the processor with cores programmed differently. Core 0's device
    // has just served the probe.
    for (std::int32_t core = 1; core < profile.coreCount; ++core)
        checkMsrDevice(core);

    // Northbridge requests first: carried into the core P-state requests, or
    // written to the northbridge P-state registers.
    const std::vector<CorePstate> corePstates =
        carryNbVidsIntoCorePstates(profile, changes.corePstates, changes.nbPstates);
    if (traits.hasNbPstateRegisters) {
        for (const NbPstate& request : changes.nbPstates) {
            if (isModified(request))
                writeNbPstate(profile, request);
        }
    }

    // The boost source is set before the core P-states are written, and core
    // performance boost after them, both in the same direction.
    const bool turboRequested = isSet(changes.turbo) && profile.boostSupported;
    if (turboRequested)
        setBoostSource(profile, changes.turbo == 1);

    if (isSet(changes.apm) && traits.hasApm)
        setApmEnabled(profile, changes.apm == 1);

    for (const CorePstate& request : corePstates) {
        if (isModified(request))
            writeCorePstate(profile, request);
    }

    if (turboRequested)
        setCpbEnabled(profile, changes.turbo == 1);

    switchPstates(profile, changes, corePstates);
}
