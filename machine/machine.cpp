// The machine model: its cores, each core's MSR values, and the device paths
// behind which the emulator shows it.

#include "machine/machine.h"

#include <iterator>

#include "cpu/probe.h"
#include "cpu/registers.h"
#include "machine/tokenizer.h"

const char* const kEmulatedCpuctlPathPrefix = "/dev/cpuctl";
const char* const kEmulatedPciPath = "/dev/pci";

std::string emulatedCpuctlPath(std::int32_t core)
{
    return kEmulatedCpuctlPathPrefix + std::to_string(core);
}

std::int32_t emulatedCpuctlCore(const std::string& path)
{
    const std::string prefix = kEmulatedCpuctlPathPrefix;
    if (path.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const std::string digits = path.substr(prefix.size());
    std::uint64_t core = 0;
    // Only the spelling the device code uses: decimal, no leading zero.
    if (hasHexPrefix(digits) || !parseDigits(digits, 10, kCoreNumberBits, core)
        || (digits.size() > 1 && digits[0] == '0'))
        return -1;
    return static_cast<std::int32_t>(core);
}

std::int32_t machineCoreCount(const Machine& machine)
{
    const auto leaf = machine.cpuidLeaves.find(kCpuidCoreCount);
    if (leaf == machine.cpuidLeaves.end())
        return 1;
    return decodeCoreCount(leaf->second.ecx);
}

std::int32_t machineCpuCount(const Machine& machine)
{
    return machine.cpus.empty() ? machineCoreCount(machine) : static_cast<std::int32_t>(machine.cpus.size());
}

std::vector<std::int32_t> machineCpus(const Machine& machine)
{
    if (!machine.cpus.empty())
        return machine.cpus;
    std::vector<std::int32_t> cpus(static_cast<std::size_t>(machineCoreCount(machine)));
    for (std::size_t i = 0; i < cpus.size(); ++i)
        cpus[i] = static_cast<std::int32_t>(i);
    return cpus;
}

bool cpusWithoutGaps(const std::vector<std::int32_t>& cpus)
{
    return cpus.empty() || cpus.back() + 1 == static_cast<std::int32_t>(cpus.size());
}

std::int32_t machineNodeCount(const Machine& machine)
{
    const auto nodeId = machine.pciRegisters.find(PciAddress{kNorthbridgeDevice, kFunctionHtConfig, kPciNodeId});
    if (nodeId == machine.pciRegisters.end())
        return 1;
    return static_cast<std::int32_t>(bits::get(nodeId->second, kNodeCountMinusOne) + 1);
}

bool msrOnCore(const Machine& machine, std::int32_t core, std::uint32_t number, std::uint64_t& value)
{
    const auto every = machine.msrs.find(number);
    if (every == machine.msrs.end())
        return false;
    const auto own = machine.coreMsrs.find(CoreMsr{number, core});
    value = own == machine.coreMsrs.end() ? every->second : own->second;
    return true;
}

void setMsrOnCore(Machine& machine, std::int32_t core, std::uint32_t number, std::uint64_t value)
{
    std::uint64_t& every = machine.msrs.at(number);
    if (core == 0) {
        // The cores that shared core 0's value keep it as their own.
        for (const std::int32_t other : machineCpus(machine))
            if (other != 0)
                machine.coreMsrs.emplace(CoreMsr{number, other}, every);
        every = value;
        for (auto it = machine.coreMsrs.lower_bound(CoreMsr{number, 0});
             it != machine.coreMsrs.end() && it->first.number == number;)
            it = it->second == value ? machine.coreMsrs.erase(it) : std::next(it);
        return;
    }
    if (value == every)
        machine.coreMsrs.erase(CoreMsr{number, core});
    else
        machine.coreMsrs[CoreMsr{number, core}] = value;
}

namespace {

constexpr std::int64_t kMicrovoltsPerVolt = 1000000;
constexpr std::size_t kMicrovoltDecimals = 6;

} // namespace

std::string microvoltsText(std::int64_t microvolts)
{
    std::string decimals = std::to_string(microvolts % kMicrovoltsPerVolt);
    decimals.insert(0, kMicrovoltDecimals - decimals.size(), '0');
    while (decimals.size() > 1 && decimals.back() == '0')
        decimals.pop_back();
    return std::to_string(microvolts / kMicrovoltsPerVolt) + "." + decimals;
}

bool parseMicrovolts(const std::string& text, std::int64_t& microvolts)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.size() < 3 || text.size() > 2 + kMicrovoltDecimals || !isDigit(text[0]) || text[1] != '.')
        return false;
    std::int64_t value = text[0] - '0';
    for (std::size_t i = 2; i < 2 + kMicrovoltDecimals; ++i) {
        if (i < text.size() && !isDigit(text[i]))
            return false;
        value = value * 10 + (i < text.size() ? text[i] - '0' : 0);
    }
    microvolts = value;
    return true;
}
