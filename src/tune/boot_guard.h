#pragma once
// The boot script's guard, as a tuning sees it: settings applied at a boot
// and not yet confirmed leave STATE/pending. While it stands the machine runs
// on trial settings (this boot's, awaiting their confirmation) or the boot
// script holds them back (an earlier boot's, which hung or was reset); either
// way a hang during a tuning would be blamed on them, and the voltages the
// tuning starts from are not the ones the machine is known to run on.

#include <string>

// Why a tuning must wait for the guard, or empty when no STATE/pending
// stands in stateDirectory.
std::string bootGuardRefusal(const std::string& stateDirectory);
