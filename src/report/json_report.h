#pragma once

#include "cpu/processor_profile.h"
#include "report/json_writer.h"
#include "report/warnings.h"

// The version of the JSON objects the program prints; it changes only when a
// key changes meaning or goes away, not when one is added.
constexpr int kJsonFormat = 1;

// The "warnings" member of every object the program prints: each warning's
// text, without its "WARNING: ".
void writeJsonWarnings(JsonWriter& json, const Warnings& warnings);

// The report as one JSON object on standard output, printed once the last
// register is read: a run that fails on the way prints nothing there.
void printJsonReport(const ProcessorProfile& profile);
