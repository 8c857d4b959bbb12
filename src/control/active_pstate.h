#pragma once
// The P-state the processor runs in, and requests to switch to another.

#include <cstdint>

#include "cpu/processor_profile.h"

constexpr std::uint32_t kMsrPstateControl = 0xC0010062;

std::int32_t currentPstate();
void activatePstate(const ProcessorProfile& profile, std::int32_t pstate);
