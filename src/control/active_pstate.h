#pragma once
// The P-state the processor runs in, and requests to switch to another.

#include <cstdint>

#include "cpu/processor_profile.h"
#include "hw/bitfield.h"

constexpr std::uint32_t kMsrPstateControl = 0xC0010062;

// Request field of the P-state control MSR, counting from the first
// non-boosted P-state.
constexpr bits::Field kPstateRequest{2, 0};

// The current P-state, from the COFVID status MSR.
std::int32_t currentPstate();

// One read and one write of the P-state control MSR. Refuses a P-state the
// processor does not have.
void activatePstate(const ProcessorProfile& profile, std::int32_t pstate);

// Leaves pstate for another one, waits a second and enters pstate again: the
// processor takes a rewritten P-state register into effect only when it enters
// that P-state.
void reenterPstate(const ProcessorProfile& profile, std::int32_t pstate);
