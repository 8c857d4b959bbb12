#include "spread_registers.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <map>
#include <stdexcept>
#include <utility>

namespace spread_registers {
namespace {

// Files by identity, so that any descriptor of one, however opened, is found.
using FileId = std::pair<dev_t, ino_t>;

std::map<FileId, std::size_t>& widths()
{
    static std::map<FileId, std::size_t> table;
    return table;
}

} // namespace

off_t fileOffset(int fd, off_t offset);

void spread(const std::string& file, std::size_t width)
{
    struct stat status {};
    if (stat(file.c_str(), &status) != 0)
        throw std::runtime_error("stat " + file + " failed");
    widths()[FileId{status.st_dev, status.st_ino}] = width;
}

void reset()
{
    widths().clear();
}

off_t fileOffset(int fd, off_t offset)
{
    struct stat status {};
    if (fstat(fd, &status) != 0)
        return offset;
    const auto found = widths().find(FileId{status.st_dev, status.st_ino});
    if (found == widths().end())
        return offset;
    return offset * static_cast<off_t>(found->second);
}

} // namespace spread_registers

extern "C" {

ssize_t __real_pread(int fd, void* buffer, size_t count, off_t offset);
ssize_t __real_pread64(int fd, void* buffer, size_t count, off_t offset);
ssize_t __real_pwrite(int fd, const void* buffer, size_t count, off_t offset);
ssize_t __real_pwrite64(int fd, const void* buffer, size_t count, off_t offset);

ssize_t __wrap_pread(int fd, void* buffer, size_t count, off_t offset)
{
    return __real_pread(fd, buffer, count, spread_registers::fileOffset(fd, offset));
}

ssize_t __wrap_pread64(int fd, void* buffer, size_t count, off_t offset)
{
    return __real_pread64(fd, buffer, count, spread_registers::fileOffset(fd, offset));
}

ssize_t __wrap_pwrite(int fd, const void* buffer, size_t count, off_t offset)
{
    return __real_pwrite(fd, buffer, count, spread_registers::fileOffset(fd, offset));
}

ssize_t __wrap_pwrite64(int fd, const void* buffer, size_t count, off_t offset)
{
    return __real_pwrite64(fd, buffer, count, spread_registers::fileOffset(fd, offset));
}

} // extern "C"
