// The built-in processors of pravellon-sim: the machine files of sim/presets/,
// embedded by the build.

#include "sim/presets.h"

#include "sim/embedded_presets.h"

const std::vector<Preset>& presets()
{
    static const std::vector<Preset> all = [] {
        std::vector<Preset> made;
        for (std::size_t i = 0; i < kEmbeddedPresetCount; ++i) {
            const EmbeddedPreset& embedded = kEmbeddedPresets[i];
            made.push_back(Preset{embedded.name, embedded.description,
                                  std::string(embedded.machineText, embedded.machineTextSize)});
        }
        return made;
    }();
    return all;
}

const Preset& defaultPreset()
{
    return presets().front();
}

const Preset* findPreset(const std::string& name)
{
    for (const Preset& preset : presets())
        if (preset.name == name)
            return &preset;
    return nullptr;
}
