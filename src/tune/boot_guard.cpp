#include "tune/boot_guard.h"

#include <sys/stat.h>

#include <fstream>

std::string bootGuardRefusal(const std::string& stateDirectory)
{
    const std::string pending = stateDirectory + "/pending";
    struct stat status {};
    if (lstat(pending.c_str(), &status) != 0)
        return std::string();
    // Its first line names the boot, its second the boot's date, as the boot
    // script writes them.
    std::ifstream file(pending);
    std::string boot;
    std::string date;
    (void)std::getline(file, boot);
    (void)std::getline(file, date);
    return "the settings applied at the boot of " + (date.empty() ? std::string("an unknown date") : date)
        + " are not confirmed (" + pending + " stands): tune once they are, or after 'pravellon-boot confirm'";
}
