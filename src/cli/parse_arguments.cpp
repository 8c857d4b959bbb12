#include "cli/change_set.h"

// Placeholder until the parser is built: accepts no token.
void splitAt(const std::string& source, char separator, std::string& first, std::string& second)
{
    const auto at = source.find(separator);
    first = source.substr(0, at);
    second = at == std::string::npos ? std::string() : source.substr(at + 1);
}

bool parseArguments(ChangeSet&, int argc, const char* const*)
{
    return argc < 2;
}
