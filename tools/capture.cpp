#include "capture.h"

#include <iomanip>
#include <ios>
#include <ostream>

#include "control/active_pstate.h"
#include "cpu/probe.h"
#include "cpu/registers.h"
#include "hw/device.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"

namespace {

CapturedRegister cpuidLeaf(std::uint32_t leaf)
{
    return CapturedRegister{CapturedRegister::Kind::cpuid, leaf, 0};
}

CapturedRegister msr(std::uint32_t number)
{
    return CapturedRegister{CapturedRegister::Kind::msr, number, 0};
}

CapturedRegister pci(std::uint8_t function, std::uint32_t reg)
{
    return CapturedRegister{CapturedRegister::Kind::pci, reg, function};
}

// Fixed-width lowercase hexadecimal, so that the columns of the file line up.
struct Hex {
    std::uint64_t value;
    int digits;
};

std::ostream& operator<<(std::ostream& out, Hex hex)
{
    const std::ios_base::fmtflags flags = out.flags();
    const char fill = out.fill();
    out << "0x" << std::hex << std::nouppercase << std::setfill('0') << std::setw(hex.digits) << hex.value;
    out.flags(flags);
    out.fill(fill);
    return out;
}

void readAndPrint(std::ostream& out, const CapturedRegister& r)
{
    switch (r.kind) {
    case CapturedRegister::Kind::cpuid: {
        const CpuidRegisters words = cpuid(r.number);
        out << "cpuid " << Hex{r.number, 8} << ' ' << Hex{words.eax, 8} << ' ' << Hex{words.ebx, 8} << ' '
            << Hex{words.ecx, 8} << ' ' << Hex{words.edx, 8} << std::endl;
        break;
    }
    case CapturedRegister::Kind::msr:
        out << "msr " << Hex{r.number, 8} << ' ' << Hex{readMsr(r.number), 16} << std::endl;
        break;
    case CapturedRegister::Kind::pci:
        out << "pci " << std::hex << static_cast<unsigned>(kNorthbridgeDevice) << '.'
            << static_cast<unsigned>(r.function) << std::dec << ' ' << Hex{r.number, 1} << ' '
            << Hex{readPciConfig(kNorthbridgeDevice, r.function, r.number), 8} << std::endl;
        break;
    }
}

} // namespace

std::vector<CapturedRegister> registersReadBy(const ProcessorProfile& profile)
{
    const bool family10 = profile.family == 0x10;
    const bool family15 = profile.family == 0x15;

    // The probe, in its own order.
    std::vector<CapturedRegister> list = {
        cpuidLeaf(kCpuidVendor),
        cpuidLeaf(kCpuidFamilyModel),
        cpuidLeaf(kCpuidCoreCount),
        pci(kFunctionMisc, kPciClockPowerControl),
    };
    if (family15)
        list.push_back(pci(kFunctionExtendedMisc, kPciNbPstateControl));
    list.push_back(msr(kMsrCofvidStatus));
    list.push_back(cpuidLeaf(kCpuidPowerManagement));
    if (profile.boostSupported) {
        list.push_back(msr(kMsrHardwareConfig));
        list.push_back(pci(kFunctionLinkControl, kPciBoostControl));
        if (family10)
            list.push_back(pci(kFunctionMisc, kPciFamily10BoostLimit));
        if (family15)
            list.push_back(pci(kFunctionMisc, kPciFamily15BoostLimit));
    } else if (family15) {
        // APM lives in the boost control register too, and is switched on
        // family 0x15 whether or not it has boost.
        list.push_back(pci(kFunctionLinkControl, kPciBoostControl));
    }

    // The report's P-states, which the writers read again before writing.
    for (std::int32_t n = 0; n < profile.pstateCount; ++n)
        list.push_back(msr(kMsrPstateBase + static_cast<std::uint32_t>(n)));
    if (family15) {
        for (std::int32_t n = 0; n < profile.nbPstateCount && n < kMaxNbPstates; ++n)
            list.push_back(pci(kFunctionExtendedMisc, kPciNbPstateBase + 4 * static_cast<std::uint32_t>(n)));
    }

    // Read before every switch of P-state.
    list.push_back(msr(kMsrPstateControl));
    return list;
}

bool captureMachine(std::ostream& out)
{
    ProcessorProfile profile;
    if (!probeProcessor(profile))
        return false;

    out << "# This machine's registers, as pravellon reads them: AMD family 0x" << std::hex << profile.family
        << ", model 0x" << profile.model << std::dec << ", " << profile.pstateCount << " P-states." << std::endl
        << "# Try a command on it first, e.g." << std::endl
        << "#   pravellon-sim --machine FILE --changes P0=20@1.25" << std::endl;
    for (const CapturedRegister& r : registersReadBy(profile))
        readAndPrint(out, r);
    return true;
}
