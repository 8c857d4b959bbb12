#pragma once
// The register writes of a run, recorded with the value each register held
// before the first of them. In a dry run they are only planned: no register is
// written, and a read of a register already planned is answered with the
// planned value without a device access, so that every later step decides as
// it would after the write.

#include <cstdint>
#include <vector>

enum class Writes { made, planned };

// From here on, every write through the accessors is recorded; with
// Writes::planned none reaches a device.
void recordWrites(Writes writes);

// Ends the recording and forgets it: the accessors read and write again.
void stopRecordingWrites();

// Whether writes are only planned: a dry run, which also does not pause.
bool writesArePlanned();

struct RecordedMsrWrite {
    std::int32_t core = 0;
    std::uint32_t msr = 0;
    std::uint64_t before = 0; // as last read before the first write
    std::uint64_t after = 0;  // as last written
};

struct RecordedPciWrite {
    std::uint8_t device = 0;
    std::uint8_t function = 0;
    std::uint32_t reg = 0;
    std::uint32_t before = 0;
    std::uint32_t after = 0;
};

// Every MSR written, by MSR number and then core.
std::vector<RecordedMsrWrite> recordedMsrWrites();

// Every PCI register written, by device, function and register.
std::vector<RecordedPciWrite> recordedPciWrites();
