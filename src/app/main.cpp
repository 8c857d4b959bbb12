#include "app/driver.h"
#include "app/standard_options.h"

int main(int argc, char** argv)
{
    if (answerHelpOrVersion(argc, argv, "pravellon", kPravellonUsage))
        return kStatusOk;
    return runPravellon(argc, argv);
}
