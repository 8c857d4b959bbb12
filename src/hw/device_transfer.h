#pragma once
// The transfers of the one device implementation linked in (FreeBSD or Linux
// device code). Only the accessors of hw/recorded_writes.cpp call them, so
// that a dry run is decided above every device alike.

#include <cstdint>

std::uint64_t deviceReadMsr(std::int32_t core, std::uint32_t msr);
void deviceWriteMsr(std::int32_t core, std::uint32_t msr, std::uint64_t value);
std::uint32_t deviceReadPciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg);
void deviceWritePciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg, std::uint32_t value);
