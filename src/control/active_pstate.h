#pragma once
// The P-state the processor runs in, and requests to switch to another.

#include <cstdint>

#include "cpu/processor_profile.h"

constexpr std::uint32_t kMsrPstateControl = 0xC0010062;

// Request field of the P-state control MSR, counting from the first
// non-boosted P-state.
constexpr unsigned kPstateRequestHi = 2;
constexpr unsigned kPstateRequestLo = 0;

// Current P-state field of the COFVID status MSR (kMsrCofvidStatus).
constexpr unsigned kCurrentPstateHi = 18;
constexpr unsigned kCurrentPstateLo = 16;

std::int32_t currentPstate();
void activatePstate(const ProcessorProfile& profile, std::int32_t pstate);
