#pragma once
// Built-in processors of pravellon-sim.

#include <string>
#include <vector>

struct Preset {
    std::string name;
    std::string description; // one line
    std::string machineText; // a machine file
};

const std::vector<Preset>& presets();

// The processor used when neither --machine nor --preset is given.
const Preset& defaultPreset();

// nullptr when there is no preset of that name.
const Preset* findPreset(const std::string& name);
