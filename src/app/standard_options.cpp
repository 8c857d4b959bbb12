#include "app/standard_options.h"

#include <cstring>
#include <iostream>
#include <string>

#include "app/options.h"
#include "version.h"

bool answerHelpOrVersion(int argc, const char* const* argv, const char* program, const char* usage)
{
    if (argc != 2)
        return false;
    const TypedOption typed = findOption(kPravellon | kSim, argv[1], true);
    const Option* const option = typed.option;
    if (option == nullptr || typed.hasValue)
        return false;
    if (option->id == OptionId::help) {
        std::cout << usage << std::flush;
        return true;
    }
    if (option->id == OptionId::version) {
        std::cout << program << ' ' << kPravellonVersion << std::endl;
        return true;
    }
    return false;
}
