#pragma once
// Files that stand in for the devices: made in a fresh temporary directory for
// each test and removed with it. Large offsets such as MSR 0xC0010064 are
// written into sparse files.

#include <cstdint>
#include <string>
#include <vector>

class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // The path of name inside the directory; nothing is created.
    std::string path(const std::string& name) const;

private:
    std::string root_;
};

using Bytes = std::vector<std::uint8_t>;

// Writes bytes at offset, creating the file if needed and keeping what else it holds.
void writeBytesAt(const std::string& path, std::uint64_t offset, const Bytes& bytes);

// Makes the file exactly size bytes long (a configuration space of 256 or 4096).
void resizeFile(const std::string& path, std::uint64_t size);

// count bytes at offset; fewer if the file ends first.
Bytes readBytesAt(const std::string& path, std::uint64_t offset, std::size_t count);

std::uint64_t fileSize(const std::string& path);

// The little-endian bytes of value, as the kernel hands a register over.
Bytes littleEndian(std::uint64_t value, std::size_t width);
