#include "scratch_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

std::runtime_error failure(const std::string& what, const std::string& path)
{
    return std::runtime_error(what + " " + path + " failed");
}

} // namespace

ScratchDirectory::ScratchDirectory()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pravellon-dev.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw failure("mkdtemp", pattern);
    root_ = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string ScratchDirectory::path(const std::string& name) const
{
    return root_ + "/" + name;
}

void writeBytesAt(const std::string& path, std::uint64_t offset, const Bytes& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0)
        throw failure("open", path);
    const ssize_t done = pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    close(fd);
    if (done != static_cast<ssize_t>(bytes.size()))
        throw failure("pwrite", path);
}

void resizeFile(const std::string& path, std::uint64_t size)
{
    if (truncate(path.c_str(), static_cast<off_t>(size)) != 0)
        throw failure("truncate", path);
}

Bytes readBytesAt(const std::string& path, std::uint64_t offset, std::size_t count)
{
    const int fd = open(path.c_str(), O_RDONLY, 0);
    if (fd < 0)
        throw failure("open", path);
    Bytes bytes(count);
    const ssize_t done = pread(fd, bytes.data(), count, static_cast<off_t>(offset));
    close(fd);
    if (done < 0)
        throw failure("pread", path);
    bytes.resize(static_cast<std::size_t>(done));
    return bytes;
}

std::uint64_t fileSize(const std::string& path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        throw failure("stat", path);
    return static_cast<std::uint64_t>(status.st_size);
}

Bytes littleEndian(std::uint64_t value, std::size_t width)
{
    Bytes bytes(width);
    for (std::size_t i = 0; i < width; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}
