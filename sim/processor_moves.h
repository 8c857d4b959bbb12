#pragma once
// What the emulated processor changes by itself in answer to a write, as the
// hardware does: a P-state request moves the core's current P-state.

#include <cstdint>

#include "machine/machine.h"

// After msr of core was written with value: a P-state request puts the
// P-state the core now runs in into its COFVID status, numbered as the P-state
// registers are (the request counts from the first non-boosted one), no
// higher than the last enabled P-state, and the VID of that P-state's
// register into the current VID field. Other writes move nothing, and
// nothing moves on a processor the program would not know.
void followWrite(Machine& machine, std::int32_t core, std::uint32_t msr, std::uint64_t value);

// Whether msr is a register only the processor itself changes, never the
// program: what changed in it is not the program's doing.
bool movedByProcessor(std::uint32_t msr);
