#include "sim/device_requests.h"

#include <fcntl.h>

#include <cstdint>
#include <cstring>

#include <sys/types.h> // before sys/pciio.h, whose types FreeBSD declares there

#include <sys/cpuctl.h>
#include <sys/pciio.h>

#include "machine/machine.h"

bool isCpuctlPath(const std::string& path)
{
    return path.compare(0, std::strlen(kEmulatedCpuctlPathPrefix), kEmulatedCpuctlPathPrefix) == 0;
}

bool takesMode(int flags)
{
#ifdef O_TMPFILE
    if ((flags & O_TMPFILE) == O_TMPFILE)
        return true;
#endif
    return (flags & O_CREAT) != 0;
}

bool isDeviceRequest(unsigned long request)
{
    return request == CPUCTL_RDMSR || request == CPUCTL_WRMSR || request == CPUCTL_CPUID || request == PCIOCREAD
        || request == PCIOCWRITE;
}

bool belongsTo(const std::string& path, unsigned long request)
{
    if (isCpuctlPath(path))
        return request == CPUCTL_RDMSR || request == CPUCTL_WRMSR || request == CPUCTL_CPUID;
    return request == PCIOCREAD || request == PCIOCWRITE;
}


const char* badPciRecord(const void* record)
{
    pci_io io;
    std::memcpy(&io, record, sizeof io);
    if (io.pi_sel.pc_domain != 0 || io.pi_sel.pc_bus != 0)
        return "not domain 0, bus 0";
    if (io.pi_width != static_cast<int>(kPciAccessWidth))
        return "width not 4";
    if (io.pi_reg < 0 || static_cast<std::uint32_t>(io.pi_reg) > kPciConfigSpaceSize - kPciAccessWidth
        || static_cast<std::uint32_t>(io.pi_reg) % kPciAccessWidth != 0)
        return "register not aligned within the configuration space";
    return nullptr;
}
