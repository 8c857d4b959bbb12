#pragma once
// What every Linux device test starts from: no redirection, no recorded open,
// and an empty scratch directory for the files that stand in for the devices.

#include <gtest/gtest.h>

#include <string>

#include "redirected_open.h"
#include "scratch_files.h"

// The device paths are spelled out rather than built, so that a wrong
// spelling in the code under test cannot be copied into the expectation.
inline const std::string kMsrDevice = "/dev/cpu/0/msr";
inline const std::string kCpuidDevice = "/dev/cpu/0/cpuid";
inline const std::string kMiscConfig = "/sys/bus/pci/devices/0000:00:18.3/config";
inline const std::string kLinkConfig = "/sys/bus/pci/devices/0000:00:18.4/config";
inline const std::string kExtendedMiscConfig = "/sys/bus/pci/devices/0000:00:18.5/config";
inline const std::string kPresentCpus = "/sys/devices/system/cpu/present";
inline const std::string kOnlineCpus = "/sys/devices/system/cpu/online";

class LinuxDevice : public ::testing::Test {
protected:
    void SetUp() override { redirected::reset(); }
    void TearDown() override { redirected::reset(); }

    // Sends opens of devicePath to a scratch file called name (not created)
    // and returns that file's path.
    std::string standIn(const std::string& devicePath, const std::string& name)
    {
        const std::string file = scratch.path(name);
        redirected::redirect(devicePath, file);
        return file;
    }

    ScratchDirectory scratch;
};
