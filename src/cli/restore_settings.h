#pragma once
// Saved settings given back: exactly the values the file holds, in a token
// change's order and with its checks.

#include <cstdint>
#include <vector>

#include "cli/saved_settings.h"
#include "cpu/processor_profile.h"
#include "report/warnings.h"

struct RestoredSwitch {
    std::int32_t target = -1; // the P-state the switched cores were asked for
    std::vector<std::int32_t> switched;
};

// Writes, on every online core and every node, the fields this program owns
// where their bits differ from saved, and nothing else: the northbridge
// P-states, the boost source, APM, the core P-states (their enable bits
// among them), the boost-disable bits, then the P-state request. A core
// offline now, or offline when saved, is warned of and left as it is.
RestoredSwitch restoreSettings(const ProcessorProfile& profile, const SavedSettings& saved, Warnings& warnings);
