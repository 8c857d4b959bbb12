#include <cerrno>
#include <cstring>
#include <iostream>

#include "app/driver.h"
#include "app/output_check.h"
#include "app/options.h"
#include "app/standard_options.h"

int main(int argc, char** argv)
{
    if (!checkOutputAtExit("pravellon")) {
        std::cerr << "pravellon: cannot handle signals: " << std::strerror(errno) << std::endl;
        return kStatusOutputFailed;
    }
    if (answerHelpOrVersion(argc, argv, "pravellon", pravellonUsage().c_str()))
        return kStatusOk;
    return runPravellon(argc, argv);
}
