#include "cli/parse_arguments.h"

#include <cstdint>
#include <iostream>
#include <string>

#include "cli/number_text.h"
#include "cli/token_forms.h"

namespace {

// A request lacking what it needs is left out with a warning, or refuses the
// run; false when it is left out.
bool meetNeed(const ProcessorProfile& profile, const TokenNeed& need, const std::string& token, ChangeSet& changes)
{
    if (need.feature == nullptr || need.feature->present(profile))
        return true;
    if (need.lacking == Lacking::refuse) {
        if (changes.refusal == nullptr)
            changes.refusal = need.feature->lacking;
        return true;
    }
    changes.unsupported.push_back(UnsupportedRequest{token, need.feature->lacking});
    return false;
}

bool asksForSomething(const TokenRequest& request)
{
    return request.multiplier || request.vid || request.number;
}

// False when the token is none of the forms.
bool applyToken(const ProcessorProfile& profile, ChangeSet& changes, const std::string& token)
{
    std::string key;
    std::string value;
    splitAt(token, '=', key, value);
    for (const TokenForm& form : kTokenForms) {
        TokenRequest request;
        request.token = token;
        if (!form.readKey(profile, key, !value.empty(), request))
            continue;
        if (!form.readValue(profile, value, request))
            return false;
        // A token that asks for nothing (NB_P0=@) needs nothing.
        if (asksForSomething(request) && !meetNeed(profile, form.needs, token, changes))
            return true;
        if (request.multiplier && !meetNeed(profile, form.multiplierNeeds, token, changes))
            request.multiplier.reset();
        form.apply(request, changes);
        return true;
    }
    return false;
}

} // namespace

bool parseArguments(const ProcessorProfile& profile, ChangeSet& changes, int argc, const char* const* argv)
{
    for (std::int32_t i = 0; i < profile.pstateCount; ++i) {
        CorePstate request;
        request.index = i;
        changes.corePstates.push_back(request);
        changes.corePstateTokens.emplace_back();
    }
    for (std::int32_t i = 0; i < profile.nbPstateCount; ++i) {
        NbPstate request;
        request.index = i;
        changes.nbPstates.push_back(request);
    }

    for (int i = 1; i < argc; ++i) {
        const std::string token = argv[i];
        if (!applyToken(profile, changes, token)) {
            std::cerr << "ERROR: invalid parameter " << token << std::endl;
            return false;
        }
    }
    return true;
}
