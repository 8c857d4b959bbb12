#include "cli/apply_changes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "control/active_pstate.h"
#include "control/boost.h"
#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/writable_registers.h"
#include "hw/device.h"
#include "hw/exception_with_message.h"
#include "pstate/core_pstate.h"
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

// Which P-states' registers the change rewrites, by P-state number.
std::vector<bool> modifiedPstates(const std::vector<CorePstate>& corePstates)
{
    std::vector<bool> modified(corePstates.size());
    for (std::size_t n = 0; n < corePstates.size(); ++n)
        modified[n] = isModified(corePstates[n]);
    return modified;
}

// Reads, on every node but node 0, each northbridge register the change will
// write, in the order of the writes' registers: a node that is missing fails
// here, before anything is written.
void readOtherNodes(const ProcessorProfile& profile, const ChangeSet& changes)
{
    const FamilyTraits& traits = familyTraits(profile);
    const bool writesBoostControl =
        (isSet(changes.boost) && profile.boostSupported) || (isSet(changes.apm) && traits.hasApm);
    std::vector<std::int32_t> nbPstates;
    if (traits.hasNbPstateRegisters)
        for (const NbPstate& request : changes.nbPstates)
            if (isModified(request))
                nbPstates.push_back(request.index);
    std::sort(nbPstates.begin(), nbPstates.end());
    const auto read = [](std::int32_t node, const WritableRegister& row, std::int32_t n) {
        (void)readPciConfig(northbridgeOf(node), row.function, row.number(n));
    };
    forEachOtherNode(profile, [&](std::int32_t node) {
        if (writesBoostControl)
            read(node, boostControlRegister(), 0);
        for (const std::int32_t n : nbPstates)
            read(node, nbPstateRegisters(), n);
    });
}

// A P-state disabled on a core or node is written like any other, so that it
// holds the change once the firmware enables it, but nothing enables it here.
void warnDisabled(Warnings& warnings, const std::string& pstate, const char* where,
                  const std::vector<std::int32_t>& disabledOn)
{
    for (const std::int32_t number : disabledOn)
        warn(warnings, pstate + " is disabled on " + where + " " + std::to_string(number) + ": written, left disabled");
}

} // namespace

void warnOrRefuseBeforeAnyAccess(const ProcessorProfile& profile, const ChangeSet& changes, Warnings& warnings)
{
    for (const UnsupportedRequest& request : changes.unsupported)
        warn(warnings, request.token + ": " + request.reason + ", left unchanged");
    // An offline core has no device to reach; it keeps what it has, and
    // gets the change when the command runs again once it is back.
    for (const std::int32_t core : offlineCores(profile))
        warn(warnings, "core " + std::to_string(core) + " is offline, left unchanged");

    // A refusal in the middle of the changes would leave some written and
    // some not; this one is known from the profile alone.
    if (changes.refusal != nullptr)
        throw ExceptionWithMessage(changes.refusal);
}

std::vector<std::int32_t> applyChanges(const ProcessorProfile& profile, const ChangeSet& changes, Warnings& warnings)
{
    const FamilyTraits& traits = familyTraits(profile);

    // Every core and every node is written, so a core whose device cannot be
    // opened, or a node that cannot be read, must stop the run before the
    // first write, not leave the machine programmed differently. Core 0's
    // device and node 0 have just served the probe.
    forEachOtherCore(profile, checkMsrDevice);
    readOtherNodes(profile, changes);

    // Northbridge requests first: carried into the core P-state requests, or
    // written to the northbridge P-state registers.
    const std::vector<CorePstate> corePstates =
        carryNbVidsIntoCorePstates(profile, changes.corePstates, changes.nbPstates);
    if (traits.hasNbPstateRegisters) {
        for (const NbPstate& request : changes.nbPstates) {
            if (isModified(request))
                warnDisabled(warnings, "NB_P" + std::to_string(request.index), "node", writeNbPstate(profile, request));
        }
    }

    // The boost source is set before the core P-states are written, and core
    // performance boost after them, both in the same direction.
    const bool boostRequested = isSet(changes.boost) && profile.boostSupported;
    if (boostRequested)
        setBoostSource(profile, changes.boost == 1);

    if (isSet(changes.apm) && traits.hasApm)
        setApmEnabled(profile, changes.apm == 1);

    for (const CorePstate& request : corePstates) {
        if (isModified(request))
            warnDisabled(warnings, "P" + std::to_string(request.index), "core", writeCorePstate(profile, request, changes.nbPstates));
    }

    if (boostRequested)
        setBoostOnEveryCore(profile, changes.boost == 1);

    return switchPstates(profile, changes.targetPstate, modifiedPstates(corePstates));
}
