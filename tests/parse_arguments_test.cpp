#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/parse_arguments.h"
#include "cli/number_text.h"
#include "cli/token_forms.h"
#include "profiles.h"

namespace {

// Family 0x10 as the probe leaves it: 200 MHz reference clock, 12.5 mV steps,
// five P-states, two northbridge P-states, boost.
ProcessorProfile family10Profile()
{
    ProcessorProfile profile = profileOf(0x10, 0x0a);
    profile.pstateCount = 5;
    profile.nbPstateCount = 2;
    profile.boostSupported = true;
    return profile;
}

// A change set as text, every field, so that a mismatch shows the whole of it.
std::string describe(const ChangeSet& changes)
{
    std::ostringstream out;
    for (const CorePstate& p : changes.corePstates)
        out << "P" << p.index << "{" << p.multiplier << " " << p.vid << " " << p.nbPstate << " " << p.nbVid << "} ";
    for (const NbPstate& p : changes.nbPstates)
        out << "NB_P" << p.index << "{" << p.multiplier << " " << p.vid << "} ";
    out << "turbo " << changes.boost << " apm " << changes.apm << " target " << changes.targetPstate;
    for (const UnsupportedRequest& r : changes.unsupported)
        out << " [" << r.token << ": " << r.reason << "]";
    return out.str();
}

struct ParseResult {
    bool valid;
    std::string errorText;
    std::string changes;
};

ParseResult parse(const ProcessorProfile& profile, const std::vector<std::string>& tokens)
{
    std::vector<const char*> argv{"pravellon"};
    for (const std::string& token : tokens)
        argv.push_back(token.c_str());

    ChangeSet changes;
    std::ostringstream captured;
    std::streambuf* const saved = std::cerr.rdbuf(captured.rdbuf());
    const bool valid = parseArguments(profile, changes, static_cast<int>(argv.size()), argv.data());
    std::cerr.rdbuf(saved);
    return {valid, captured.str(), describe(changes)};
}

// The change set that parsing no token gives, changed by edit.
std::string expectedChanges(const ProcessorProfile& profile, void (*edit)(ChangeSet&))
{
    ChangeSet changes;
    const char* const argv[] = {"pravellon"};
    parseArguments(profile, changes, 1, argv);
    if (edit != nullptr)
        edit(changes);
    return describe(changes);
}

TEST(ParseArguments, TokensIntoChangeSet)
{
    struct Case {
        std::vector<std::string> tokens;
        const char* error; // the whole standard error text; nullptr when every token is valid
        void (*edit)(ChangeSet&); // from the empty change set to the expected one
    };
    const Case cases[] = {
        {{}, nullptr, nullptr},
        // Core P-states: the multiplier is typed in reference clocks (200 MHz here).
        {{"P0=15@1.25"}, nullptr, [](ChangeSet& c) { c.corePstates[0].multiplier = 30.0; c.corePstates[0].vid = 24; }},
        {{"P0=15"}, nullptr, [](ChangeSet& c) { c.corePstates[0].multiplier = 30.0; }},
        {{"P0=@1.1"}, nullptr, [](ChangeSet& c) { c.corePstates[0].vid = 36; }},
        {{"P0=@"}, nullptr, nullptr},
        {{"p4=7.5@0.9"}, nullptr, [](ChangeSet& c) { c.corePstates[4].multiplier = 15.0; c.corePstates[4].vid = 52; }},
        {{"P1x=10"}, "ERROR: invalid parameter P1x=10\n", nullptr},
        {{"Power=10"}, "ERROR: invalid parameter Power=10\n", nullptr},
        {{"P01=10"}, nullptr, [](ChangeSet& c) { c.corePstates[1].multiplier = 20.0; }},
        {{"P0=20@1.2@3"}, "ERROR: invalid parameter P0=20@1.2@3\n", nullptr},
        {{"P0=-5"}, "ERROR: invalid parameter P0=-5\n", nullptr},
        {{"P0=-0"}, nullptr, [](ChangeSet& c) { c.corePstates[0].multiplier = 0.0; }},
        {{"P0=nan"}, "ERROR: invalid parameter P0=nan\n", nullptr},
        {{"P0=abc"}, "ERROR: invalid parameter P0=abc\n", nullptr},
        {{"P0=@abc"}, "ERROR: invalid parameter P0=@abc\n", nullptr},
        {{"P0=@nan"}, "ERROR: invalid parameter P0=@nan\n", nullptr},
        {{"P0=@2.0"}, "ERROR: invalid parameter P0=@2.0\n", nullptr},
        {{"P0=@-1"}, "ERROR: invalid parameter P0=@-1\n", nullptr},
        {{"P0= 12x@ 1.0V"}, nullptr, [](ChangeSet& c) { c.corePstates[0].multiplier = 24.0; c.corePstates[0].vid = 44; }},
        {{"P0=\t+.6E1X \r@1.55v\n"}, nullptr, [](ChangeSet& c) { c.corePstates[0].multiplier = 12.0; c.corePstates[0].vid = 0; }},
        // The lowest voltage is the last step above 0 V.
        {{"P0=@0.00625"}, nullptr, [](ChangeSet& c) { c.corePstates[0].vid = 123; }},
        // Later tokens overwrite earlier ones field by field.
        {{"P0=20", "P0=@1.2"}, nullptr, [](ChangeSet& c) { c.corePstates[0].multiplier = 40.0; c.corePstates[0].vid = 28; }},
        {{"P0=20@1.2", "P0=18"}, nullptr, [](ChangeSet& c) { c.corePstates[0].multiplier = 36.0; c.corePstates[0].vid = 28; }},
        // Northbridge P-states: the ratio is stored as typed.
        // Family 0x10 carries only the voltage and says so of the ratio.
        {{"NB_P1=18@1.1"}, nullptr, [](ChangeSet& c) {
             c.nbPstates[1].vid = 36;
             c.unsupported.push_back({"NB_P1=18@1.1", "NB multiplier not supported"});
         }},
        {{"nb_p0=@1.05"}, nullptr, [](ChangeSet& c) { c.nbPstates[0].vid = 40; }},
        {{"NB_P2=18"}, "ERROR: invalid parameter NB_P2=18\n", nullptr},
        {{"NB_P=18"}, "ERROR: invalid parameter NB_P=18\n", nullptr},
        {{"NB_P-1=18"}, "ERROR: invalid parameter NB_P-1=18\n", nullptr},
        // The northbridge split has no range limit.
        {{"NB_low=2"}, nullptr, [](ChangeSet& c) {
             const int expected[] = {0, 0, 1, 1, 1};
             for (CorePstate& p : c.corePstates) p.nbPstate = expected[p.index];
         }},
        {{"nb_low=0"}, nullptr, [](ChangeSet& c) { for (CorePstate& p : c.corePstates) p.nbPstate = 1; }},
        {{"NB_low=-3"}, nullptr, [](ChangeSet& c) { for (CorePstate& p : c.corePstates) p.nbPstate = 1; }},
        {{"NB_low=abc"}, "ERROR: invalid parameter NB_low=abc\n", nullptr},
        {{"NB_low= 9 "}, nullptr, [](ChangeSet& c) { for (CorePstate& p : c.corePstates) p.nbPstate = 0; }},
        {{"NB_low=99999999999"}, "ERROR: invalid parameter NB_low=99999999999\n", nullptr},
        {{"NB_low=4", "NB_low=1"}, nullptr, [](ChangeSet& c) { for (CorePstate& p : c.corePstates) p.nbPstate = p.index < 1 ? 0 : 1; }},
        // Switches: 0 or 1 only, read leniently.
        {{"TURBO=1"}, nullptr, [](ChangeSet& c) { c.boost = 1; }},
        {{"Turbo=abc"}, "ERROR: invalid parameter Turbo=abc\n", nullptr},
        {{"Turbo=1.9"}, "ERROR: invalid parameter Turbo=1.9\n", nullptr},
        {{"Turbo=+1"}, nullptr, [](ChangeSet& c) { c.boost = 1; }},
        {{"Turbo=1", "Turbo=0"}, nullptr, [](ChangeSet& c) { c.boost = 0; }},
        {{"Turbo=2"}, "ERROR: invalid parameter Turbo=2\n", nullptr},
        {{"Turbo=-1"}, "ERROR: invalid parameter Turbo=-1\n", nullptr},
        {{"Turbo=4294967297"}, "ERROR: invalid parameter Turbo=4294967297\n", nullptr},
        {{"Turbo="}, "ERROR: invalid parameter Turbo=\n", nullptr},
        // Family 0x10 has no APM: said, not recorded.
        {{"apm=0"}, nullptr, [](ChangeSet& c) { c.unsupported.push_back({"apm=0", "APM not supported"}); }},
        {{"APM=1"}, nullptr, [](ChangeSet& c) { c.unsupported.push_back({"APM=1", "APM not supported"}); }},
        {{"APM=3"}, "ERROR: invalid parameter APM=3\n", nullptr},
        // Targets, also when the value is empty.
        {{"p2"}, nullptr, [](ChangeSet& c) { c.targetPstate = 2; }},
        {{"P0="}, nullptr, [](ChangeSet& c) { c.targetPstate = 0; }},
        {{"P="}, "ERROR: invalid parameter P=\n", nullptr},
        {{"P01="}, nullptr, [](ChangeSet& c) { c.targetPstate = 1; }},
        {{"P1", "P3"}, nullptr, [](ChangeSet& c) { c.targetPstate = 3; }},
        {{"P"}, "ERROR: invalid parameter P\n", nullptr},
        {{"P5"}, "ERROR: invalid parameter P5\n", nullptr},
        {{"P-1"}, "ERROR: invalid parameter P-1\n", nullptr},
        // Out-of-range indices fall through every form and end as invalid.
        {{"P5=20"}, "ERROR: invalid parameter P5=20\n", nullptr},
        {{"P-1=20"}, "ERROR: invalid parameter P-1=20\n", nullptr},
        {{"P4294967296=20"}, "ERROR: invalid parameter P4294967296=20\n", nullptr},
        {{"P-4294967296=20"}, "ERROR: invalid parameter P-4294967296=20\n", nullptr},
        {{"P4294967296"}, "ERROR: invalid parameter P4294967296\n", nullptr},
        {{"NB_P4294967296=18"}, "ERROR: invalid parameter NB_P4294967296=18\n", nullptr},
        {{"P=20"}, "ERROR: invalid parameter P=20\n", nullptr},
        {{""}, "ERROR: invalid parameter \n", nullptr},
        {{"Bogus"}, "ERROR: invalid parameter Bogus\n", nullptr},
        {{"NB_low"}, "ERROR: invalid parameter NB_low\n", nullptr},
        // The first invalid token stops parsing; what came before stays recorded.
        {{"Turbo=5", "Bogus"}, "ERROR: invalid parameter Turbo=5\n", nullptr},
        {{"P0=20", "Bogus=1", "P1=10"}, "ERROR: invalid parameter Bogus=1\n",
         [](ChangeSet& c) { c.corePstates[0].multiplier = 40.0; }},
    };

    const ProcessorProfile profile = family10Profile();
    for (const Case& c : cases) {
        std::string name;
        for (const std::string& token : c.tokens)
            name += "[" + token + "]";
        const ParseResult result = parse(profile, c.tokens);
        EXPECT_EQ(result.valid, c.error == nullptr) << name;
        EXPECT_EQ(result.errorText, c.error == nullptr ? "" : c.error) << name;
        EXPECT_EQ(result.changes, expectedChanges(profile, c.edit)) << name;
    }
}

TEST(ParseArguments, ProfileDecidesUnitsAndBounds)
{
    struct Case {
        const char* name;
        std::int32_t pstateCount;
        std::int32_t nbPstateCount;
        // Family 0x15 models: 0x01 has a 200 MHz clock and 7-bit VIDs, 0x10
        // 8-bit VIDs, 0x20 neither.
        std::int32_t model;
        std::vector<std::string> tokens;
        bool valid;
        void (*edit)(ChangeSet&);
    };
    const Case cases[] = {
        {"100 MHz clock stores as typed", 8, 2, 0x20, {"P7=15@1.25"}, true,
         [](ChangeSet& c) { c.corePstates[7].multiplier = 15.0; c.corePstates[7].vid = 24; }},
        {"northbridge ratio never scaled", 5, 2, 0x01, {"NB_P1=18"}, true,
         [](ChangeSet& c) { c.nbPstates[1].multiplier = 18.0; }},
        {"8-bit VID step", 5, 4, 0x10, {"P0=@1.25", "NB_P3=@1.0"}, true,
         [](ChangeSet& c) { c.corePstates[0].vid = 48; c.nbPstates[3].vid = 88; }},
        {"four northbridge P-states", 5, 4, 0x20, {"NB_P3=20"}, true,
         [](ChangeSet& c) { c.nbPstates[3].multiplier = 20.0; }},
        {"one P-state", 1, 2, 0x20, {"P1=20"}, false, nullptr},
        {"one P-state, target", 1, 2, 0x20, {"P0"}, true, [](ChangeSet& c) { c.targetPstate = 0; }},
    };
    for (const Case& c : cases) {
        ProcessorProfile profile = profileOf(0x15, c.model);
        profile.pstateCount = c.pstateCount;
        profile.nbPstateCount = c.nbPstateCount;
        const ParseResult result = parse(profile, c.tokens);
        EXPECT_EQ(result.valid, c.valid) << c.name;
        if (c.valid) {
            EXPECT_EQ(result.changes, expectedChanges(profile, c.edit)) << c.name;
        }
    }
}

TEST(SplitAt, FirstSeparatorOnly)
{
    struct Case {
        const char* source;
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {"P0=20@1.25", "P0", "20@1.25"},
        {"a=b=c", "a", "b=c"},
        {"P2", "P2", ""},
        {"P0=", "P0", ""},
        {"=5", "", "5"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string first = "old";
        std::string second = "old";
        splitAt(c.source, '=', first, second);
        EXPECT_EQ(first, c.first) << c.source;
        EXPECT_EQ(second, c.second) << c.source;
    }
}

TEST(NumberText, IntegersWholeAndWithin32Bits)
{
    constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
    const std::optional<std::int32_t> invalid;
    struct Case {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {"", invalid},
        {"abc", invalid},
        {"12abc", invalid},
        {"  -7", -7},
        {"+3", 3},
        {"1.9", invalid},
        {"- 1", invalid},
        {"0x10", invalid},
        {"2147483647", highest},
        {"-2147483648", lowest},
        {"2147483648", invalid},
        {"-2147483649", invalid},
        {"4294967297", invalid},
        {"99999999999999999999999999", invalid},
        {"-99999999999999999999999999", invalid},
        {" \t2\r\n", 2},
        {"+", invalid},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readIntegerText(c.text), c.value) << "\"" << c.text << "\"";
    // A P-state number is bare digits.
    EXPECT_EQ(readIndexText("007"), 7);
    for (const char* text : {"", " 1", "+1", "1 ", "2147483648"})
        EXPECT_EQ(readIndexText(text), invalid) << "\"" << text << "\"";
}

} // namespace

// Which form a token is must not depend on the order of the table: no key is
// taken by two forms.
TEST(TokenForms, AKeyNamesOneFormAtMost)
{
    const struct {
        const char* token;
        const char* form; // its usage, or nullptr for none
    } cases[] = {
        {"P1=20", "P<n>=<multiplier>@<voltage>"}, {"p1", "P<n>"}, {"P1=", "P<n>"},
        {"NB_P1=18", "NB_P<n>=<multiplier>@<voltage>"}, {"nb_low=2", "NB_low=<n>"}, {"TURBO=1", "Turbo=0|1"},
        {"APM=0", "APM=0|1"}, {"NB_P1", nullptr}, {"NB_low=", nullptr}, {"Turbo", nullptr}, {"P5=20", nullptr},
    };
    for (const auto& c : cases) {
        std::string key;
        std::string value;
        splitAt(c.token, '=', key, value);
        std::vector<std::string> forms;
        for (const TokenForm& form : kTokenForms) {
            TokenRequest request;
            if (form.readKey(family10Profile(), key, !value.empty(), request))
                forms.emplace_back(form.usage);
        }
        EXPECT_EQ(forms, c.form ? std::vector<std::string>{c.form} : std::vector<std::string>{}) << c.token;
    }
}
