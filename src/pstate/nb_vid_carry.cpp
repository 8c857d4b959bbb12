#include "pstate/nb_vid_carry.h"

#include <cstddef>
#include <cstdint>

#include "cpu/family_traits.h"

namespace {

// The requested VID of northbridge P-state nb, or -1.
std::int32_t requestedNbVid(const std::vector<NbPstate>& nbPstates, std::int32_t nb)
{
    if (nb < 0 || static_cast<std::size_t>(nb) >= nbPstates.size())
        return -1;
    return nbPstates[static_cast<std::size_t>(nb)].vid;
}

} // namespace

std::vector<CorePstate> carryNbVidsIntoCorePstates(const ProcessorProfile& profile,
                                                   const std::vector<CorePstate>& corePstates,
                                                   const std::vector<NbPstate>& nbPstates)
{
    std::vector<CorePstate> carried = corePstates;
    if (!familyTraits(profile).hasNbVidInCorePstate)
        return carried;

    if (requestedNbVid(nbPstates, 0) < 0 && requestedNbVid(nbPstates, 1) < 0)
        return carried;
    // Which P-states carry a voltage is decided on core 0's registers.
    for (CorePstate& request : carried) {
        const std::int32_t nb =
            request.nbPstate >= 0 ? request.nbPstate : readCorePstate(profile, request.index).nbPstate;
        if (requestedNbVid(nbPstates, nb) >= 0)
            request.nbVid = requestedNbVid(nbPstates, nb);
    }
    return carried;
}

CorePstate carryNbVidOnCore(const ProcessorProfile& profile, const CorePstate& request,
                            const std::vector<NbPstate>& nbPstates, std::uint64_t value)
{
    CorePstate own = request;
    // A VID given as it is, without the requests it was carried from, goes
    // to every core as it is.
    if (request.nbVid < 0 || nbPstates.empty() || !familyTraits(profile).hasNbVidInCorePstate)
        return own;
    const std::int32_t nb =
        request.nbPstate >= 0 ? request.nbPstate : decodeCorePstate(profile, request.index, value).nbPstate;
    own.nbVid = requestedNbVid(nbPstates, nb);
    return own;
}
