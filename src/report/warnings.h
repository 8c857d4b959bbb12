#pragma once
// A run's warnings: each is said on standard error the moment it is known,
// and kept, so that the JSON object that tells the run lists it too; a
// playbook reads standard output only.

#include <string>
#include <vector>

// The texts, each without its "WARNING: ".
using Warnings = std::vector<std::string>;

// "WARNING: " and text on standard error, and text kept in warnings.
void warn(Warnings& warnings, const std::string& text);
