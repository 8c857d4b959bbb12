#pragma once
// The kernel's open, as the Linux device code sees it in these tests: linked
// with -Wl,--wrap on the open family, so that the code's fixed device paths
// reach files the test made. A device path that was not redirected ends the
// test at once: these tests run as root on machines with real processors.

#include <string>
#include <vector>

namespace redirected {

// One open of a redirected path, as the code under test asked for it.
struct OpenCall {
    std::string entry; // the C library function that was called
    std::string path;  // the path the code asked for, not the file it got
    int flags = 0;
    int mode = -1;
    int fd = -1; // what the open returned
};

// From now on an open of devicePath opens target instead.
void redirect(const std::string& devicePath, const std::string& target);

// From now on an open of devicePath fails with error, as the kernel's does
// for a user who may not open it (EACCES, EPERM) or a processor or driver
// that is not there (ENXIO, ENODEV), none of which a file made by root gives.
void failOpen(const std::string& devicePath, int error);

// Forget every redirection and every recorded open.
void reset();

// The opens of redirected paths since the last reset or clearOpenCalls.
const std::vector<OpenCall>& openCalls();
void clearOpenCalls();

} // namespace redirected
