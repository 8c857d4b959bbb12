#include "app/driver.h"
#include "app/standard_options.h"

int main(int argc, char** argv)
{
    if (answerHelpOrVersion(argc, argv, "pravellon", pravellonUsage().c_str()))
        return kStatusOk;
    return runPravellon(argc, argv);
}
