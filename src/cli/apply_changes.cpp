#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "cli/change_set.h"
#include "control/active_pstate.h"
#include "control/boost.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"

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

// Family 0x10 has no northbridge P-state registers of its own: the northbridge
// voltage lives in every core P-state, next to the northbridge P-state that core
// P-state selects. A requested northbridge VID therefore goes into each core
// P-state that will select that northbridge P-state once the change set is
// written, whether the selection is requested or already in the register.
void carryNbVidsIntoCorePstates(ChangeSet& changes)
{
    const auto hasVid = [&changes](std::size_t nb) {
        return nb < changes.nbPstates.size() && isSet(changes.nbPstates[nb].vid);
    };
    if (!hasVid(0) && !hasVid(1))
        return;
    for (CorePstate& request : changes.corePstates) {
        const std::int32_t nb = isSet(request.nbPstate)
            ? request.nbPstate
            : readCorePstate(*changes.profile, request.index).nbPstate;
        if (nb >= 0 && hasVid(static_cast<std::size_t>(nb)))
            request.nbVid = changes.nbPstates[static_cast<std::size_t>(nb)].vid;
    }
}

void applyNbRequests(ChangeSet& changes)
{
    switch (changes.profile->family) {
    case 0x10:
        carryNbVidsIntoCorePstates(changes);
        break;
    case 0x15:
        for (const NbPstate& request : changes.nbPstates) {
            if (isModified(request))
                writeNbPstate(*changes.profile, request);
        }
        break;
    default:
        // Families 0x12 and 0x14 have no northbridge P-states to change.
        break;
    }
}

bool isModifiedPstate(const ChangeSet& changes, std::int32_t pstate)
{
    // The current P-state comes from the hardware; one past the enabled ones has
    // no request in the change set and so counts as not modified.
    return pstate >= 0 && static_cast<std::size_t>(pstate) < changes.corePstates.size()
        && isModified(changes.corePstates[static_cast<std::size_t>(pstate)]);
}

// The processor takes a rewritten P-state register into effect only when it
// enters that P-state, so a modified current P-state is left and entered again.
void switchPstate(const ChangeSet& changes)
{
    const ProcessorProfile& profile = *changes.profile;
    const std::int32_t current = currentPstate();
    if (isSet(changes.targetPstate) && changes.targetPstate != current) {
        activatePstate(profile, changes.targetPstate);
    } else if (isModifiedPstate(changes, current)) {
        const std::int32_t last = profile.pstateCount - 1;
        activatePstate(profile, current == last ? 0 : last);
        ::sleep(1);
        activatePstate(profile, current);
    }
}

} // namespace

void applyChanges(ChangeSet& changes)
{
    const ProcessorProfile& profile = *changes.profile;

    applyNbRequests(changes);

    // The boost source is set before the core P-states are written, and core
    // performance boost after them, both in the same direction.
    const bool turboRequested = isSet(changes.turbo) && profile.boostSupported;
    if (turboRequested)
        setBoostSource(profile, changes.turbo == 1);

    if (isSet(changes.apm) && profile.family == 0x15)
        setApmEnabled(profile, changes.apm == 1);

    for (const CorePstate& request : changes.corePstates) {
        if (isModified(request))
            writeCorePstate(profile, request);
    }

    if (turboRequested)
        setCpbEnabled(profile, changes.turbo == 1);

    switchPstate(changes);
}
