#pragma once
// The presets' list and machine files as the build embeds them
// (cmake/embed_presets.cmake), in the list's order.

#include <cstddef>

struct EmbeddedPreset {
    const char* name;
    const char* description;
    const char* machineText;
    std::size_t machineTextSize;
};

extern const EmbeddedPreset kEmbeddedPresets[];
extern const std::size_t kEmbeddedPresetCount;
