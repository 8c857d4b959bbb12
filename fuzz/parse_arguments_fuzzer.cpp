// libFuzzer target: parseArguments with any number of tokens of any bytes, on a
// change set bound to a processor of each supported family. The first byte
// picks the processor; the rest, split at NUL bytes (which no argument can
// hold), are the tokens. Besides the sanitizers' findings, a change set that
// leaves the shapes the applying code relies on is a crash.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/parse_arguments.h"
#include "cpu/probe.h"
#include "cpu/vid.h"

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

ProcessorProfile profileFor(std::uint8_t choice)
{
    // CPUID 0x80000001 EAX of family 0x10 model 0x0a, 0x12 model 0x01, 0x14
    // model 0x01, 0x15 model 0x01 (200 MHz clock) and 0x15 model 0x10 (8-bit
    // VIDs); the probe's own decoder makes the profile of each.
    static const std::uint32_t signatures[] = {0x00100fa0, 0x00300f10, 0x00500f10, 0x00600f10, 0x00610f00};
    constexpr std::size_t kVariants = sizeof signatures / sizeof signatures[0];
    ProcessorProfile profile;
    require(identifyProcessor(profile, signatures[choice % kVariants]));
    // Every P-state count the hardware field can give (1 to 8), and on family
    // 0x15 every northbridge P-state count (1 to 4).
    profile.pstateCount = static_cast<std::int32_t>(1 + (choice / kVariants) % 8);
    if (profile.family == 0x15)
        profile.nbPstateCount = static_cast<std::int32_t>(1 + (choice / (kVariants * 8)) % 4);
    return profile;
}

// Never the zero-volt VID, which would stop the core.
bool isVidOrUnset(const ProcessorProfile& profile, std::int32_t vid)
{
    const auto zeroVolt = static_cast<std::int32_t>(1.55 / vidStep(profile));
    return vid == -1 || (vid >= 0 && vid < zeroVolt);
}

// Unset, or a number of 0 or more: never negative, NaN or -0.
bool isMultiplierOrUnset(double multiplier)
{
    return multiplier == -1.0 || (multiplier >= 0.0 && !std::signbit(multiplier));
}

bool isSwitchOrUnset(std::int32_t value)
{
    return value == -1 || value == 0 || value == 1;
}

void checkShape(const ChangeSet& changes, const ProcessorProfile& profile)
{
    require(changes.corePstates.size() == static_cast<std::size_t>(profile.pstateCount));
    require(changes.corePstateTokens.size() == changes.corePstates.size());
    for (std::size_t i = 0; i < changes.corePstates.size(); ++i) {
        const CorePstate& request = changes.corePstates[i];
        require(request.index == static_cast<std::int32_t>(i));
        require(isVidOrUnset(profile, request.vid));
        require(isMultiplierOrUnset(request.multiplier));
        require(isSwitchOrUnset(request.nbPstate));
        require(request.nbVid == -1); // filled only when the change set is applied
    }
    require(changes.nbPstates.size() == static_cast<std::size_t>(profile.nbPstateCount));
    for (std::size_t i = 0; i < changes.nbPstates.size(); ++i) {
        require(changes.nbPstates[i].index == static_cast<std::int32_t>(i));
        require(isVidOrUnset(profile, changes.nbPstates[i].vid));
        require(isMultiplierOrUnset(changes.nbPstates[i].multiplier));
    }
    require(isSwitchOrUnset(changes.boost));
    require(isSwitchOrUnset(changes.apm));
    require(changes.targetPstate >= -1 && changes.targetPstate < profile.pstateCount);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const ProcessorProfile profile = profileFor(data[0]);

    std::vector<std::string> tokens(1);
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0)
            tokens.emplace_back();
        else
            tokens.back() += static_cast<char>(data[i]);
    }
    if (size == 1)
        tokens.clear();
    std::vector<const char*> argv{"pravellon"};
    for (const std::string& token : tokens)
        argv.push_back(token.c_str());
    argv.push_back(nullptr);

    std::ostringstream err;
    std::streambuf* const savedErr = std::cerr.rdbuf(err.rdbuf());
    ChangeSet changes;
    const bool valid = parseArguments(profile, changes, static_cast<int>(argv.size() - 1), argv.data());
    std::cerr.rdbuf(savedErr);

    checkShape(changes, profile);
    // Each warning to come names a token as typed, in command-line order.
    std::size_t next = 0;
    for (const UnsupportedRequest& request : changes.unsupported) {
        while (next < tokens.size() && tokens[next] != request.token)
            ++next;
        require(next < tokens.size());
        ++next;
    }
    // Valid: silence. Invalid: exactly one line naming one of the tokens.
    if (valid) {
        require(err.str().empty());
    } else {
        bool named = false;
        for (const std::string& token : tokens)
            named = named || err.str() == "ERROR: invalid parameter " + token + "\n";
        require(named);
    }
    return 0;
}
