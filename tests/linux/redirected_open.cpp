// The wrapped open family. Only open and its fortified and large-file spellings
// are redirected; openat and fopen are wrapped too, so that device code which
// one day reaches a device another way is stopped rather than let through to
// the real hardware.

#include "redirected_open.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace redirected {
namespace {

// Built on first use: the C++ runtime and GoogleTest open files of their own,
// possibly before any static object of this file is constructed.
struct Redirection {
    std::string target;
    int error = 0; // the open fails with it instead, when not 0
};

std::map<std::string, Redirection>& redirections()
{
    static std::map<std::string, Redirection> table;
    return table;
}

std::vector<OpenCall>& calls()
{
    static std::vector<OpenCall> recorded;
    return recorded;
}

// Everything through which a register can be reached on Linux (and FreeBSD's
// devices, should those ever exist here).
bool isDevicePath(const char* path)
{
    static const char* const kGuarded[] = {"/dev/cpu", "/dev/pci", "/sys/bus/pci", "/sys/devices/pci",
                                           "/proc/bus/pci", "/sys/devices/system/cpu"};
    for (const char* prefix : kGuarded)
        if (std::strncmp(path, prefix, std::strlen(prefix)) == 0)
            return true;
    return false;
}

[[noreturn]] void refuse(const char* entry, const char* path)
{
    std::fprintf(stderr, "%s of %s, a device path that this test did not redirect\n", entry, path);
    std::abort();
}

// The file to open in place of path, or null with errno set when the open is
// to fail; a redirected open is recorded, fd is filled in once the real open
// has returned.
const char* route(const char* entry, const char* path, int flags, int mode, OpenCall** call)
{
    *call = nullptr;
    if (path == nullptr)
        return path;
    const auto found = redirections().find(path);
    if (found == redirections().end()) {
        if (isDevicePath(path))
            refuse(entry, path);
        return path;
    }
    calls().push_back(OpenCall{entry, path, flags, mode, -1});
    *call = &calls().back();
    if (found->second.error != 0) {
        errno = found->second.error;
        return nullptr;
    }
    return found->second.target.c_str();
}

// open's result, or the failure route chose when it gave no file to open.
template <typename Open>
int finish(OpenCall* call, const char* target, Open realOpen)
{
    const int fd = call != nullptr && target == nullptr ? -1 : realOpen(target);
    if (call != nullptr)
        call->fd = fd;
    return fd;
}

void guard(const char* entry, const char* path)
{
    if (path != nullptr && isDevicePath(path))
        refuse(entry, path);
}

} // namespace

void redirect(const std::string& devicePath, const std::string& target)
{
    redirections()[devicePath] = Redirection{target, 0};
}

void failOpen(const std::string& devicePath, int error)
{
    redirections()[devicePath] = Redirection{"", error};
}

void reset()
{
    redirections().clear();
    calls().clear();
}

const std::vector<OpenCall>& openCalls()
{
    return calls();
}

void clearOpenCalls()
{
    calls().clear();
}

} // namespace redirected

// The mode is read whatever the flags: the tests check that the code passes
// one, and a caller that passes none gets an ignored value, as from the kernel.
#define PRAVELLON_MODE_ARGUMENT(last, mode)                                                        \
    int mode = 0;                                                                                  \
    do {                                                                                           \
        va_list args;                                                                              \
        va_start(args, last);                                                                      \
        mode = va_arg(args, int);                                                                  \
        va_end(args);                                                                              \
    } while (false)

extern "C" {

int __real_open(const char* path, int flags, ...);
int __real_open64(const char* path, int flags, ...);
int __real___open_2(const char* path, int flags);
int __real___open64_2(const char* path, int flags);
int __real_openat(int dirfd, const char* path, int flags, ...);
int __real_openat64(int dirfd, const char* path, int flags, ...);
int __real___openat_2(int dirfd, const char* path, int flags);
int __real___openat64_2(int dirfd, const char* path, int flags);
FILE* __real_fopen(const char* path, const char* how);
FILE* __real_fopen64(const char* path, const char* how);

int __wrap_open(const char* path, int flags, ...)
{
    PRAVELLON_MODE_ARGUMENT(flags, mode);
    redirected::OpenCall* call = nullptr;
    const char* target = redirected::route("open", path, flags, mode, &call);
    return redirected::finish(call, target, [&](const char* file) { return __real_open(file, flags, mode); });
}

int __wrap_open64(const char* path, int flags, ...)
{
    PRAVELLON_MODE_ARGUMENT(flags, mode);
    redirected::OpenCall* call = nullptr;
    const char* target = redirected::route("open64", path, flags, mode, &call);
    return redirected::finish(call, target, [&](const char* file) { return __real_open64(file, flags, mode); });
}

// The fortified spellings carry no mode; -1 records that none was passed.
int __wrap___open_2(const char* path, int flags)
{
    redirected::OpenCall* call = nullptr;
    const char* target = redirected::route("__open_2", path, flags, -1, &call);
    return redirected::finish(call, target, [&](const char* file) { return __real___open_2(file, flags); });
}

int __wrap___open64_2(const char* path, int flags)
{
    redirected::OpenCall* call = nullptr;
    const char* target = redirected::route("__open64_2", path, flags, -1, &call);
    return redirected::finish(call, target, [&](const char* file) { return __real___open64_2(file, flags); });
}

int __wrap_openat(int dirfd, const char* path, int flags, ...)
{
    PRAVELLON_MODE_ARGUMENT(flags, mode);
    redirected::guard("openat", path);
    return __real_openat(dirfd, path, flags, mode);
}

int __wrap_openat64(int dirfd, const char* path, int flags, ...)
{
    PRAVELLON_MODE_ARGUMENT(flags, mode);
    redirected::guard("openat64", path);
    return __real_openat64(dirfd, path, flags, mode);
}

int __wrap___openat_2(int dirfd, const char* path, int flags)
{
    redirected::guard("__openat_2", path);
    return __real___openat_2(dirfd, path, flags);
}

int __wrap___openat64_2(int dirfd, const char* path, int flags)
{
    redirected::guard("__openat64_2", path);
    return __real___openat64_2(dirfd, path, flags);
}

FILE* __wrap_fopen(const char* path, const char* how)
{
    redirected::guard("fopen", path);
    return __real_fopen(path, how);
}

FILE* __wrap_fopen64(const char* path, const char* how)
{
    redirected::guard("fopen64", path);
    return __real_fopen64(path, how);
}

} // extern "C"
