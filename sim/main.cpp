#include "app/driver.h"

// Placeholder until the emulator's command line is built.
int main(int argc, char** argv)
{
    return runPravellon(argc, argv);
}
