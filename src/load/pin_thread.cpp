#include "load/pin_thread.h"

#include <cerrno>
#include <cstring>

#if defined(__FreeBSD__)
#include <sys/param.h>
#include <sys/cpuset.h>
#elif defined(__linux__)
#include <sched.h>
#endif

#if defined(__FreeBSD__)

std::string pinThisThread(std::int32_t cpu)
{
    if (cpu < 0 || cpu >= CPU_SETSIZE)
        return "no such CPU";
    cpuset_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    // id -1 with CPU_WHICH_TID: the calling thread.
    if (cpuset_setaffinity(CPU_LEVEL_WHICH, CPU_WHICH_TID, -1, sizeof set, &set) != 0)
        return std::strerror(errno);
    return std::string();
}

std::vector<std::int32_t> allowedCpus()
{
    cpuset_t set;
    CPU_ZERO(&set);
    std::vector<std::int32_t> cpus;
    if (cpuset_getaffinity(CPU_LEVEL_WHICH, CPU_WHICH_PID, -1, sizeof set, &set) != 0)
        return cpus;
    for (std::int32_t cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set))
            cpus.push_back(cpu);
    return cpus;
}

#elif defined(__linux__)

std::string pinThisThread(std::int32_t cpu)
{
    if (cpu < 0 || cpu >= CPU_SETSIZE)
        return "no such CPU";
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(static_cast<unsigned>(cpu), &set);
    // pid 0: the calling thread.
    if (sched_setaffinity(0, sizeof set, &set) != 0)
        return std::strerror(errno);
    return std::string();
}

std::vector<std::int32_t> allowedCpus()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<std::int32_t> cpus;
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return cpus;
    for (std::int32_t cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(static_cast<unsigned>(cpu), &set))
            cpus.push_back(cpu);
    return cpus;
}

#else
#error "the load pins its threads on FreeBSD and Linux only"
#endif
