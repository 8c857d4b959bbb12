#pragma once
// The forms a token can take, in one table: how each is recognised and read,
// what it needs the processor to have, and what it puts into the change set.
// The usage text of --help is printed from the same table.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/change_set.h"
#include "cpu/features.h"
#include "cpu/processor_profile.h"

// What a token asks for, once read. A part that is absent asks for nothing.
struct TokenRequest {
    std::int32_t index = -1; // the P-state a P<n> or NB_P<n> names
    std::optional<double> multiplier;
    std::optional<std::int32_t> vid;
    std::optional<std::int32_t> number; // NB_low, Turbo, APM
    std::string token;                  // as typed
};

// What happens to a request whose processor lacks what it needs: left out with
// a warning, or the whole run refused before any device is touched.
enum class Lacking { warn, refuse };

struct TokenNeed {
    const Feature* feature = nullptr; // nullptr: nothing
    Lacking lacking = Lacking::warn;
};

struct TokenForm {
    // The form and its meaning as --help prints them.
    const char* usage;
    const char* meaning;
    // Whether key (the text before the first "=", the whole token without
    // one) names this form; valueGiven when something follows the "=". No two
    // forms accept the same key and value, so which form a token is does not
    // depend on the order of the table.
    bool (*readKey)(const ProcessorProfile& profile, const std::string& key, bool valueGiven, TokenRequest& request);
    // The text after the "="; false when it is not what the form takes.
    bool (*readValue)(const ProcessorProfile& profile, const std::string& value, TokenRequest& request);
    // What the whole request needs, and what its multiplier needs.
    TokenNeed needs;
    TokenNeed multiplierNeeds;
    // Puts the request into the change set.
    void (*apply)(const TokenRequest& request, ChangeSet& changes);
};

// In the order --help lists them.
extern const std::array<TokenForm, 6> kTokenForms;

// The usage lines of the token forms, "  P<n>=...   meaning\n" each.
std::string tokenFormsUsage();
