#pragma once
// The P-state each core runs in, and requests to switch a core to another.

#include <cstdint>

#include "cpu/processor_profile.h"
#include "hw/bitfield.h"

constexpr std::uint32_t kMsrPstateControl = 0xC0010062;

// Request field of the P-state control MSR, counting from the first
// non-boosted P-state.
constexpr bits::Field kPstateRequest{2, 0};

// The current P-state of core, from its COFVID status MSR.
std::int32_t currentPstate(std::int32_t core);

// One read and one write of core's P-state control MSR. Refuses a P-state the
// processor does not have.
void activatePstate(const ProcessorProfile& profile, std::int32_t core, std::int32_t pstate);

// The P-state a core leaves to before it enters pstate again: the processor
// takes a rewritten P-state register into effect only when it enters that
// P-state. The last enabled P-state, unless that is pstate itself; then the
// first.
std::int32_t awayPstate(const ProcessorProfile& profile, std::int32_t pstate);
