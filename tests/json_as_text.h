#pragma once
// The program's JSON output read back by a real JSON parser.

#include <gtest/gtest.h>

#include <string>

#include "run_program.h"

// The program's JSON output read by a strict JSON parser and printed as the
// text output of the same run says it (json_as_text.py MODE ARGUMENTS).
inline std::string jsonAsText(const std::string& json, const std::string& modeAndArguments)
{
    const TestFile in("json_as_text.in");
    writeFile(in.path, json);
    const ProgramRun run =
        runBuilt(PYTHON3_PATH, "'" JSON_AS_TEXT_PATH "' " + modeAndArguments + " <'" + in.path + "'");
    EXPECT_EQ(run.status, 0) << run.err << "in:\n" << json;
    return run.out;
}
