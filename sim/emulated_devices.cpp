// The emulated kernel: open, ioctl, close, sleep and sysctlbyname are
// redirected here at link time. /dev/cpuctlN and /dev/pci are answered from
// the attached Machine, every other path and descriptor goes to the real
// system. A cpuctl device exists for each of the machine's CPUs; a higher
// number fails to open with ENXIO, as for a processor that is not there. The
// northbridge of a node beyond the machine's node count is not there either
// (ENODEV).
//
// The emulation is strict because it is the device code's only test: whatever
// the real kernel would refuse, or what the device code must never do (a
// request of the other device, a descriptor it was not handed, a device not
// opened read-write, a PCI record other than domain 0, bus 0, width 4), fails
// with EINVAL. These functions are noexcept in the C library, so nothing may
// leave them by exception.

#include "sim/emulated_devices.h"

#include "sim/device_requests.h"
#include "sim/processor_moves.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>

#include <sys/cpuctl.h>
#include <sys/pciio.h>

#include "cpu/every_core.h"
#include "hw/hex_text.h"
#include "hw/text_file.h"
#include "machine/tokenizer.h"
#include "machine/writer.h"

extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_open64(const char* path, int flags, ...);
int __real___open_2(const char* path, int flags);
int __real___open64_2(const char* path, int flags);
int __real_ioctl(int fd, unsigned long request, ...);
int __real_close(int fd);
unsigned __real_sleep(unsigned seconds);
}

namespace {

struct OpenDevice {
    std::string path;
    int flags = 0;
    std::int32_t core = -1; // of a cpuctl device: its CPU as the machine file numbers it
};

struct Emulator {
    bool attached = false;
    Machine machine;
    std::string savePath;
    bool unsaved = false; // a register was written since attachMachine or the last save
    // Registers written that had no line, in the order of their first write:
    // the save adds their lines in that order, as a file saved at every
    // write would have them.
    std::vector<MachineRegister> added;
    std::vector<std::string> trace;
    std::string traceFile;
    int traceFd = -1;     // open while the trace file takes lines
    int traceError = 0;   // why the trace file stopped taking them; 0 if it did not
    void (*afterWrite)() noexcept = nullptr;
    long operations = 0; // opens and ioctls so far, for `fail op N`
    int sleepSignal = 0;  // raised by the emulated sleep; 0 for none
    bool loadRunning = false; // the tuning's load runs: loaded lines answer
    std::map<int, OpenDevice> descriptors;
};

// Never destroyed: the C library and the test framework may open and close
// files while static objects are being torn down at exit.
Emulator& emulator()
{
    static Emulator* const instance = new Emulator;
    return *instance;
}

std::string cannotWriteTrace(const std::string& file, int error)
{
    return "cannot write trace " + printable(file) + ": " + std::strerror(error);
}

// Each line is written as it happens, so that a killed process leaves every
// line it traced. A line the file does not take stops the tracing but not the
// run: ending it there would cut a change in half. That the trace is
// incomplete is told when the run ends.
void trace(const std::string& line)
{
    Emulator& e = emulator();
    e.trace.push_back(line);
    if (e.traceFd < 0)
        return;
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(e.traceFd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            e.traceError = written < 0 ? errno : ENOSPC;
            (void)__real_close(e.traceFd);
            e.traceFd = -1;
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

int fail(const std::string& line, int error)
{
    trace(line);
    errno = error;
    return -1;
}

// The error with which the machine fails the operation of fault: its own, or
// usual; 0 when the operation does not fail.
int injectedError(const Machine& machine, const Fault& fault, int usual)
{
    const auto it = machine.faults.find(fault);
    if (it == machine.faults.end())
        return 0;
    return it->error != 0 ? it->error : usual;
}

bool injects(const Machine& machine, const Fault& fault)
{
    return machine.faults.count(fault) != 0;
}

// Whether the machine drops writes of msr on core.
bool ignoresWrmsr(const Machine& machine, std::int32_t core, std::uint32_t msr)
{
    return injects(machine, Fault{FaultKind::ignoreWrmsr, msr})
        || injects(machine, Fault{FaultKind::ignoreWrmsr, msr, core});
}

bool isEmulatedPath(const char* path)
{
    return path != nullptr && (isCpuctlPath(path) || std::strcmp(path, kEmulatedPciPath) == 0);
}

int openDevice(const std::string& path, int flags)
{
    Emulator& e = emulator();
    const long operation = ++e.operations;
    const std::string line = "open " + path;
    if (!e.attached || operation == e.machine.failOp)
        return fail(line + " failed", ENOENT);
    if (const int error = injectedError(e.machine, Fault{FaultKind::open, path}, ENOENT))
        return fail(line + " failed", error);
    const std::int32_t core = emulatedCpuctlCore(path);
    if (isCpuctlPath(path) && (core < 0 || core >= machineCpuCount(e.machine)))
        return fail(line + " failed", ENXIO);
    // A real descriptor, so that the number never clashes with a file the
    // process opens meanwhile.
    const int fd = __real_open("/dev/null", O_RDWR | (flags & O_CLOEXEC));
    if (fd < 0) {
        const int error = errno;
        return fail(line + " failed", error);
    }
    try {
        // FreeBSD numbers its CPUs without gaps: /dev/cpuctlN is the machine
        // file's Nth CPU, whatever number Linux gave it.
        const std::int32_t cpu = core < 0 ? core : machineCpus(e.machine)[static_cast<std::size_t>(core)];
        e.descriptors[fd] = OpenDevice{path, flags, cpu};
    } catch (...) {
        __real_close(fd);
        throw;
    }
    trace(line);
    return fd;
}

template <typename Open>
int openFile(const char* path, int flags, Open realOpen) noexcept
{
    try {
        if (!isEmulatedPath(path))
            return realOpen();
        return openDevice(path, flags);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    } catch (...) {
        errno = EIO;
    }
    return -1;
}

int refuse(unsigned long request, const std::string& where, const char* why)
{
    return fail("ioctl " + hexText(request) + " on " + where + " failed (" + why + ")", EINVAL);
}

// Marks the machine as changed since it was attached or saved, and tells the
// test that follows the writes. The file is saved once, when the run ends:
// rendering and saving the whole file at every write made a change cost its
// writes times the size of the file.
void keptWrite(Emulator& e)
{
    e.unsaved = true;
    if (e.afterWrite != nullptr)
        e.afterWrite();
}

// A register of a moves line, about to be read: its bits have flipped since
// the last read or write, as another program or the processor would change
// them. The value the read answers.
std::uint64_t movedBeforeRead(Machine& machine, std::int32_t core, std::uint32_t msr, std::uint64_t value)
{
    for (const std::int32_t moving : {core, Fault::kEveryCore}) {
        const auto it = machine.movingMsrs.find(CoreMsr{msr, moving});
        if (it != machine.movingMsrs.end()) {
            setMsrOnCore(machine, core, msr, value ^ it->second);
            return value ^ it->second;
        }
    }
    return value;
}

// Every core answers CPUID alike.
int cpuctlRequest(Emulator& e, std::int32_t core, unsigned long request, void* record, bool failNow)
{
    Machine& m = e.machine;
    if (request == CPUCTL_CPUID) {
        cpuctl_cpuid_args_t args;
        std::memcpy(&args, record, sizeof args);
        const auto leaf = static_cast<std::uint32_t>(args.level);
        const std::string line = "cpuid " + hexText(leaf);
        if (failNow)
            return fail(line + " failed", EIO);
        if (const int error = injectedError(m, Fault{FaultKind::cpuid, leaf}, EIO))
            return fail(line + " failed", error);
        const auto it = m.cpuidLeaves.find(leaf);
        const CpuidRegisters words = it == m.cpuidLeaves.end() ? CpuidRegisters{} : it->second;
        args.data[0] = words.eax;
        args.data[1] = words.ebx;
        args.data[2] = words.ecx;
        args.data[3] = words.edx;
        std::memcpy(record, &args, sizeof args);
        trace(line + " -> " + hexText(words.eax) + " " + hexText(words.ebx) + " " + hexText(words.ecx) + " " + hexText(words.edx));
        return 0;
    }

    cpuctl_msr_args_t args;
    std::memcpy(&args, record, sizeof args);
    const auto msr = static_cast<std::uint32_t>(args.msr);
    const bool write = request == CPUCTL_WRMSR;
    const std::string line = (write ? "wrmsr " : "rdmsr ") + hexText(msr);
    const FaultKind kind = write ? FaultKind::wrmsr : FaultKind::rdmsr;
    std::uint64_t value = 0;
    // A register the processor does not have faults, and the kernel reports EIO.
    if (failNow || !msrOnCore(m, core, msr, value))
        return fail(line + " failed", EIO);
    for (const std::int32_t faulty : {Fault::kEveryCore, core})
        if (const int error = injectedError(m, Fault{kind, msr, faulty}, EIO))
            return fail(line + " failed", error);
    if (write) {
        // A dropped write succeeds as far as the program can tell.
        if (!ignoresWrmsr(m, core, msr)) {
            setMsrOnCore(m, core, msr, args.data);
            followWrite(m, core, msr, args.data);
            keptWrite(e);
        }
        trace(line + " <- " + hexText(args.data));
        return 0;
    }
    args.data = movedBeforeRead(m, core, msr, value);
    std::memcpy(record, &args, sizeof args);
    trace(line + " -> " + hexText(args.data));
    return 0;
}

// Devices 0x18 + N are the northbridges of nodes 0 .. 7.
constexpr std::uint8_t kLastNorthbridgeDevice = 0x1F;

bool isNorthbridgeBeyondTheNodes(const Machine& machine, std::uint8_t device)
{
    return device > kNorthbridgeDevice && device <= kLastNorthbridgeDevice
        && nodeOfNorthbridge(device, machineNodeCount(machine)) < 0;
}

int pciRequest(Emulator& e, unsigned long request, void* record, bool failNow)
{
    Machine& m = e.machine;
    pci_io io;
    std::memcpy(&io, record, sizeof io);
    PciAddress address;
    address.device = io.pi_sel.pc_dev;
    address.function = io.pi_sel.pc_func;
    address.reg = static_cast<std::uint32_t>(io.pi_reg);
    const bool write = request == PCIOCWRITE;
    const std::string line = (write ? "pciwrite " : "pciread ") + pciRegisterText(address.device, address.function, address.reg);
    if (failNow)
        return fail(line + " failed", EIO);
    if (const int error = injectedError(m, Fault{write ? FaultKind::pciWrite : FaultKind::pciRead, address}, EIO))
        return fail(line + " failed", error);
    // The northbridge of a node the machine does not have is not there.
    if (isNorthbridgeBeyondTheNodes(m, address.device))
        return fail(line + " failed", ENODEV);
    if (write) {
        if (!injects(m, Fault{FaultKind::ignorePciWrite, address})) {
            const auto [reg, first] = m.pciRegisters.try_emplace(address);
            if (first)
                e.added.push_back(MachineRegister{MachineRegister::Kind::pci, 0, address});
            reg->second = io.pi_data;
            keptWrite(e);
        }
        trace(line + " <- " + hexText(io.pi_data));
        return 0;
    }
    // A register without a line reads as zero, as unimplemented ones do.
    const auto it = m.pciRegisters.find(address);
    io.pi_data = it == m.pciRegisters.end() ? 0 : it->second;
    const auto loaded = m.loadedPciRegisters.find(address);
    if (e.loadRunning && loaded != m.loadedPciRegisters.end())
        io.pi_data = loaded->second;
    std::memcpy(record, &io, sizeof io);
    trace(line + " -> " + hexText(io.pi_data));
    return 0;
}


int deviceIoctl(int fd, unsigned long request, void* record)
{
    Emulator& e = emulator();
    const auto it = e.descriptors.find(fd);
    if (it == e.descriptors.end()) {
        if (!isDeviceRequest(request))
            return __real_ioctl(fd, request, record);
        ++e.operations;
        return refuse(request, "descriptor " + std::to_string(fd), "not an emulated device");
    }
    const std::string path = it->second.path;
    const std::int32_t core = it->second.core;
    const bool readWrite = (it->second.flags & O_ACCMODE) == O_RDWR;
    const long operation = ++e.operations;
    if (!belongsTo(path, request))
        return refuse(request, path, "not a request of this device");
    if (!readWrite)
        return refuse(request, path, "not opened read-write");
    if (record == nullptr)
        return refuse(request, path, "no record");
    if (path == kEmulatedPciPath)
        if (const char* why = badPciRecord(record))
            return refuse(request, path, why);

    const bool failNow = !e.attached || operation == e.machine.failOp;
    if (isCpuctlPath(path))
        return cpuctlRequest(e, core, request, record, failNow);
    return pciRequest(e, request, record, failNow);
}

} // namespace

namespace emulation {

void attachMachine(const Machine& machine, const std::string& savePath)
{
    Emulator& e = emulator();
    e.attached = true;
    e.machine = machine;
    e.savePath = savePath;
    e.unsaved = false;
    e.added.clear();
    e.trace.clear();
    e.operations = 0;
    e.sleepSignal = 0;
    e.loadRunning = false;
}

void detachMachine()
{
    Emulator& e = emulator();
    e.attached = false;
    e.machine = Machine();
    e.savePath.clear();
    e.unsaved = false;
    e.added.clear();
}

Machine& attachedMachine()
{
    return emulator().machine;
}

bool saveAttachedMachine(std::string& error)
{
    Emulator& e = emulator();
    if (e.savePath.empty() || !e.unsaved)
        return true;
    AddedLines added;
    added.order = e.added;
    std::vector<std::string> lines = machineLines(e.machine, added);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    if (!replaceFileContent(e.savePath, text, error))
        return false;
    e.machine.lines = std::move(lines);
    e.unsaved = false;
    e.added.clear();
    return true;
}

const std::vector<std::string>& traceLines()
{
    return emulator().trace;
}

bool openTraceFile(const std::string& path, std::string& error)
{
    Emulator& e = emulator();
    // Not blocking: a FIFO without a reader fails at once (ENXIO) instead of
    // waiting, with the ending signals held, for one that may never come.
    const int fd = __real_open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = cannotWriteTrace(path, errno);
        return false;
    }
    // A reader that is there is waited for as it reads.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        error = cannotWriteTrace(path, errno);
        (void)__real_close(fd);
        return false;
    }
    if (e.traceFd >= 0)
        (void)__real_close(e.traceFd);
    e.traceFile = path;
    e.traceFd = fd;
    e.traceError = 0;
    return true;
}

std::string traceFailure()
{
    const Emulator& e = emulator();
    return e.traceError == 0 ? std::string() : cannotWriteTrace(e.traceFile, e.traceError);
}

void setAfterWrite(void (*callback)() noexcept)
{
    emulator().afterWrite = callback;
}

void raiseDuringSleep(int signal)
{
    emulator().sleepSignal = signal;
}

void setLoadRunning(bool running)
{
    emulator().loadRunning = running;
}

} // namespace emulation

extern "C" {

int __wrap_open(const char* path, int flags, ...) noexcept
{
    int mode = 0;
    if (takesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, int);
        va_end(args);
    }
    return openFile(path, flags, [&] { return __real_open(path, flags, mode); });
}

int __wrap_open64(const char* path, int flags, ...) noexcept
{
    int mode = 0;
    if (takesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, int);
        va_end(args);
    }
    return openFile(path, flags, [&] { return __real_open64(path, flags, mode); });
}

int __wrap___open_2(const char* path, int flags) noexcept
{
    return openFile(path, flags, [&] { return __real___open_2(path, flags); });
}

int __wrap___open64_2(const char* path, int flags) noexcept
{
    return openFile(path, flags, [&] { return __real___open64_2(path, flags); });
}

int __wrap_ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* record = va_arg(args, void*);
    va_end(args);
    try {
        return deviceIoctl(fd, request, record);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    } catch (...) {
        errno = EIO;
    }
    return -1;
}

int __wrap_close(int fd) noexcept
{
    try {
        Emulator& e = emulator();
        const auto it = e.descriptors.find(fd);
        if (it != e.descriptors.end()) {
            const std::string line = "close " + it->second.path;
            e.descriptors.erase(it);
            trace(line);
        }
    } catch (...) {
        // The descriptor is closed all the same; only its trace line is lost.
    }
    return __real_close(fd);
}

// FreeBSD's sysctl, of which the device code asks only hw.ncpu: the machine's
// CPUs. Not a device operation, so it has no trace line and no number for
// `fail op`.
int __wrap_sysctlbyname(const char* name, void* oldp, size_t* oldlenp, const void* newp, size_t newlen) noexcept
{
    try {
        const Emulator& e = emulator();
        if (!e.attached || name == nullptr || std::strcmp(name, "hw.ncpu") != 0) {
            errno = ENOENT;
            return -1;
        }
        const int count = machineCpuCount(e.machine);
        if (newp != nullptr || newlen != 0 || oldp == nullptr || oldlenp == nullptr || *oldlenp < sizeof count) {
            errno = EINVAL;
            return -1;
        }
        std::memcpy(oldp, &count, sizeof count);
        *oldlenp = sizeof count;
        return 0;
    } catch (...) {
        errno = EIO;
    }
    return -1;
}

unsigned __wrap_sleep(unsigned seconds) noexcept
{
    try {
        if (emulator().attached) {
            // Emulated time: the pause is recorded, not waited for.
            trace("sleep " + std::to_string(seconds));
            if (emulator().sleepSignal != 0)
                (void)raise(emulator().sleepSignal);
            return 0;
        }
    } catch (...) {
        return 0;
    }
    return __real_sleep(seconds);
}

} // extern "C"
