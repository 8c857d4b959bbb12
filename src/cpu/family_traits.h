#pragma once
// What each supported processor family has, in one table, so that the layers
// above ask about a capability and never compare family numbers themselves.
// The traits are looked up by the profile's family; the profile itself holds
// no copy of them, so a profile made by hand gets them too.

#include <array>
#include <cstdint>

#include "cpu/clock_encoding.h"
#include "cpu/processor_profile.h"
#include "hw/bitfield.h"

// Models come in blocks of sixteen: the block is the model's upper digit,
// which the processor signature calls the extended model.
constexpr bits::Field kModelBlock{7, 4};

// Models first to last; the default is empty.
struct ModelRange {
    std::int32_t first = 0;
    std::int32_t last = -1;
};

// The defaults describe a family with nothing beyond eight core P-state
// registers of the power-of-two clock encoding.
struct FamilyTraits {
    std::int32_t family = 0;
    ClockEncoding clockEncoding = ClockEncoding::powerOfTwoDivisor;
    // Core P-state registers the hardware has, enabled or not.
    std::int32_t pstateRegisterCount = 8;
    // Models below this number run their core clock from a 200 MHz reference.
    std::int32_t doubledReferenceClockBelowModel = 0;
    // The models that drive their core and northbridge voltage regulators with
    // the 8-bit serial VID code, 6.25 mV a step; every other model uses 7-bit
    // VIDs at 12.5 mV.
    std::array<ModelRange, 3> eightBitVidModels{};
    // Each core P-state selects a northbridge P-state.
    bool hasNbPstateSelect = false;
    // Each core P-state holds the northbridge VID of the northbridge P-state it
    // selects; the family has no northbridge P-state registers then.
    bool hasNbVidInCorePstate = false;
    // Northbridge P-states have registers of their own, and a count.
    bool hasNbPstateRegisters = false;
    bool hasApm = false;
    // Function 3's register 0xA4 reports Tctl, the temperature the processor
    // controls its fans by, except on these models, which keep it elsewhere.
    ModelRange tctlElsewhereModels{};
    // Tctl can be reported from -49 C: where both range-select bits are set.
    bool hasTctlRangeSelect = false;
    // A machine may have several nodes, each with its own northbridge, and
    // node 0's northbridge counts them; the other families have one.
    bool hasNodes = false;
    // The boost source value that switches boost on.
    std::uint32_t boostSourceOn = 1;
    // The boost control register's lock bit means nothing: always locked.
    bool boostAlwaysLocked = false;
    // Where the boost control register counts the boosted P-states.
    bits::Field boostStateCount{4, 2};
    // The northbridge function 3 register and field of the top multiplier with
    // boost; register 0 when the family has none.
    std::uint32_t boostLimitRegister = 0;
    bits::Field boostLimitMultiplier{0, 0};
};

// The traits of a supported family, or nullptr.
const FamilyTraits* findFamilyTraits(std::int32_t family);

// The traits of the profile's family. A profile of no supported family, which
// the probe never makes, gets a family with nothing beyond eight core P-state
// registers (the defaults above).
const FamilyTraits& familyTraits(const ProcessorProfile& profile);

// Whether this model of the family has 8-bit VIDs; the probe keeps the answer in
// the profile.
bool hasEightBitVids(const FamilyTraits& traits, std::int32_t model);
