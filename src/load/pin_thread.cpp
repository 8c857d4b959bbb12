#include "load/pin_thread.h"

#include <cerrno>
#include <cstring>

#if defined(__FreeBSD__)
#include <sys/param.h>
#include <sys/cpuset.h>
#elif defined(__linux__)
#include <sched.h>
#endif

namespace {

// Only the set's type and the two calls differ between the systems; what is
// done with them is the same on both.
#if defined(__FreeBSD__)
using CpuSet = cpuset_t;

// id -1 with CPU_WHICH_TID: the calling thread; with CPU_WHICH_PID: this process.
bool setThreadAffinity(const CpuSet& set)
{
    return cpuset_setaffinity(CPU_LEVEL_WHICH, CPU_WHICH_TID, -1, sizeof set, &set) == 0;
}

bool getProcessAffinity(CpuSet& set)
{
    return cpuset_getaffinity(CPU_LEVEL_WHICH, CPU_WHICH_PID, -1, sizeof set, &set) == 0;
}
#elif defined(__linux__)
using CpuSet = cpu_set_t;

// pid 0: the calling thread (or, for the mask it was given, this process's).
bool setThreadAffinity(const CpuSet& set)
{
    return sched_setaffinity(0, sizeof set, &set) == 0;
}

bool getProcessAffinity(CpuSet& set)
{
    return sched_getaffinity(0, sizeof set, &set) == 0;
}
#else
#error "the load pins its threads on FreeBSD and Linux only"
#endif

} // namespace

std::string pinThisThread(std::int32_t cpu)
{
    if (cpu < 0 || cpu >= CPU_SETSIZE)
        return "no such CPU";
    CpuSet set;
    CPU_ZERO(&set);
    CPU_SET(static_cast<unsigned>(cpu), &set);
    if (!setThreadAffinity(set))
        return std::strerror(errno);
    return std::string();
}

std::vector<std::int32_t> allowedCpus()
{
    CpuSet set;
    CPU_ZERO(&set);
    std::vector<std::int32_t> cpus;
    if (!getProcessAffinity(set))
        return cpus;
    for (std::int32_t cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(static_cast<unsigned>(cpu), &set))
            cpus.push_back(cpu);
    return cpus;
}
