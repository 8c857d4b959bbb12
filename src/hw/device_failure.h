#pragma once
// How a device accessor ends the process: as err(3) does, and when the
// failure has a usual cause that the administrator can remove (a module not
// loaded, a user who is not root, a kernel that refuses MSR writes), with one
// more line saying so, under the program's name as err(3) prints it. Only the
// device code includes this.

#include <err.h>
#include <stdlib.h> // getprogname on FreeBSD

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hw/device_exit_hook.h"

// Whether a device path starts with prefix, as "/dev/cpu/" starts every
// processor's msr and cpuid device on Linux, whichever processor.
inline bool devicePathStartsWith(const char* path, const char* prefix)
{
    return std::strncmp(path, prefix, std::strlen(prefix)) == 0;
}

// What the administrator can do about a failed open of path, or null: become
// root, or, for a device under moduleDevices, which exists only while its
// module is loaded, load it (loadModule says how). Once a device under
// moduleDevices has opened in this run (moduleLoaded), the module is there,
// and a missing device is a CPU that is offline or gone: no hint then.
inline const char* openFailureHint(const char* path, int error, const char* moduleDevices, const char* loadModule,
                                   bool moduleLoaded)
{
    if (error == EACCES || error == EPERM)
        return "run as root";
    if ((error == ENOENT || error == ENXIO || error == ENODEV) && devicePathStartsWith(path, moduleDevices)
        && !moduleLoaded)
        return loadModule;
    return nullptr;
}

// Ends the process with status, reporting message and the system's text for
// error as err(3) does; hint, unless null, follows on a line of its own. The
// device exit hook, if set, runs first.
[[noreturn]] inline void failDevice(int status, int error, const char* hint, const std::string& message)
{
    if (const DeviceExitHook hook = deviceExitHook())
        hook(message + ": " + std::strerror(error));
    errno = error;
    if (hint == nullptr)
        err(status, "%s", message.c_str());
    warn("%s", message.c_str());
#ifdef __FreeBSD__
    const char* const name = getprogname();
#else
    const char* const name = program_invocation_short_name;
#endif
    (void)std::fprintf(stderr, "%s: %s\n", name, hint);
    std::exit(status);
}
