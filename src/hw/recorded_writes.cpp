#include "hw/recorded_writes.h"

#include <cstdint>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "hw/device.h"
#include "hw/device_transfer.h"

namespace {

using MsrKey = std::pair<std::uint32_t, std::int32_t>; // MSR, then core
using PciKey = std::tuple<std::uint8_t, std::uint8_t, std::uint32_t>;

template <typename Value>
struct BeforeAndAfter {
    Value before = 0;
    Value after = 0;
};

struct Recording {
    bool active = false;
    bool planned = false;
    // The last value read of every register read while recording: a write's
    // old value is the one its read-modify-write read.
    std::map<MsrKey, std::uint64_t> msrReads;
    std::map<PciKey, std::uint32_t> pciReads;
    std::map<MsrKey, BeforeAndAfter<std::uint64_t>> msrWrites;
    std::map<PciKey, BeforeAndAfter<std::uint32_t>> pciWrites;
};

Recording& recording()
{
    static Recording state;
    return state;
}

// The value read, or from the plan when a dry run has already written it.
template <typename Key, typename Value, typename Read>
Value readRecorded(std::map<Key, Value>& reads, const std::map<Key, BeforeAndAfter<Value>>& writes, const Key& key,
                   Read read)
{
    const Recording& state = recording();
    if (!state.active)
        return read();
    if (state.planned) {
        const auto written = writes.find(key);
        if (written != writes.end())
            return written->second.after;
    }
    const Value value = read();
    reads[key] = value;
    return value;
}

// True when the write is to be made on the device.
template <typename Key, typename Value>
bool recordWrite(const std::map<Key, Value>& reads, std::map<Key, BeforeAndAfter<Value>>& writes, const Key& key,
                 Value value)
{
    const Recording& state = recording();
    if (!state.active)
        return true;
    const auto [entry, first] = writes.try_emplace(key);
    if (first) {
        const auto read = reads.find(key);
        entry->second.before = read != reads.end() ? read->second : value;
    }
    entry->second.after = value;
    return !state.planned;
}

} // namespace

void recordWrites(Writes writes)
{
    Recording& state = recording();
    state.active = true;
    state.planned = writes == Writes::planned;
}

void stopRecordingWrites()
{
    recording() = Recording{};
}

bool writesArePlanned()
{
    return recording().active && recording().planned;
}

std::vector<RecordedMsrWrite> recordedMsrWrites()
{
    std::vector<RecordedMsrWrite> list;
    for (const auto& [key, values] : recording().msrWrites)
        list.push_back(RecordedMsrWrite{key.second, key.first, values.before, values.after});
    return list;
}

std::vector<RecordedPciWrite> recordedPciWrites()
{
    std::vector<RecordedPciWrite> list;
    for (const auto& [key, values] : recording().pciWrites)
        list.push_back(
            RecordedPciWrite{std::get<0>(key), std::get<1>(key), std::get<2>(key), values.before, values.after});
    return list;
}

std::uint64_t readMsr(std::int32_t core, std::uint32_t msr)
{
    Recording& state = recording();
    return readRecorded(state.msrReads, state.msrWrites, MsrKey{msr, core},
                        [&] { return deviceReadMsr(core, msr); });
}

void writeMsr(std::int32_t core, std::uint32_t msr, std::uint64_t value)
{
    Recording& state = recording();
    if (recordWrite(state.msrReads, state.msrWrites, MsrKey{msr, core}, value))
        deviceWriteMsr(core, msr, value);
}

std::uint32_t readPciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg)
{
    Recording& state = recording();
    return readRecorded(state.pciReads, state.pciWrites, PciKey{device, function, reg},
                        [&] { return deviceReadPciConfig(device, function, reg); });
}

void writePciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg, std::uint32_t value)
{
    Recording& state = recording();
    if (recordWrite(state.pciReads, state.pciWrites, PciKey{device, function, reg}, value))
        deviceWritePciConfig(device, function, reg, value);
}
