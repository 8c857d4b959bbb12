#include "pstate/nb_vid_carry.h"

#include <cstddef>
#include <cstdint>

#include "cpu/family_traits.h"

std::vector<CorePstate> carryNbVidsIntoCorePstates(const ProcessorProfile& profile,
                                                   const std::vector<CorePstate>& corePstates,
                                                   const std::vector<NbPstate>& nbPstates)
{
    std::vector<CorePstate> carried = corePstates;
    if (!familyTraits(profile).hasNbVidInCorePstate)
        return carried;

    const auto hasVid = [&nbPstates](std::size_t nb) { return nb < nbPstates.size() && nbPstates[nb].vid >= 0; };
    if (!hasVid(0) && !hasVid(1))
        return carried;
    for (CorePstate& request : carried) {
        const std::int32_t nb =
            request.nbPstate >= 0 ? request.nbPstate : readCorePstate(profile, request.index).nbPstate;
        if (nb >= 0 && hasVid(static_cast<std::size_t>(nb)))
            request.nbVid = nbPstates[static_cast<std::size_t>(nb)].vid;
    }
    return carried;
}
