// Reading and saving machine files. Saving happens inside an emulated ioctl;
// the files here are never the emulated devices, so the redirected open and
// close pass them straight through.

#include "sim/text_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string reason(int error)
{
    return std::strerror(error);
}

} // namespace

bool readTextFile(const std::string& path, std::string& text, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot read " + path + ": " + reason(errno);
        return false;
    }
    text.clear();
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, count);
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    (void)std::fclose(file); // everything was read; a failing close changes nothing
    if (failed) {
        error = "cannot read " + path + ": " + reason(readError);
        return false;
    }
    return true;
}

bool replaceFileContent(const std::string& givenPath, const std::string& text, std::string& error)
{
    // A file the user made read-only stays as it is, although the rename
    // below would pass over its permissions.
    if (access(givenPath.c_str(), W_OK) != 0 && errno != ENOENT) {
        error = "cannot save " + givenPath + ": " + reason(errno);
        return false;
    }
    // Through a symbolic link the file it names is replaced, not the link.
    std::string path = givenPath;
    if (char* resolved = realpath(givenPath.c_str(), nullptr)) {
        path = resolved;
        std::free(resolved);
    }

    // The temporary file lies in the same directory so that the rename cannot
    // cross file systems.
    std::vector<char> temporary(path.begin(), path.end());
    const char suffix[] = ".saving-XXXXXX";
    temporary.insert(temporary.end(), suffix, suffix + sizeof suffix); // with the terminating 0

    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot save " + path + ": " + reason(errno);
        return false;
    }
    struct stat existing {};
    const mode_t mode = stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    std::FILE* file = fdopen(fd, "wb");
    bool saved = file != nullptr && fchmod(fd, mode) == 0;
    if (saved)
        saved = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    int saveError = errno;
    if (file != nullptr) {
        if (std::fclose(file) != 0 && saved) {
            saved = false;
            saveError = errno;
        }
    } else {
        close(fd);
    }
    if (saved && std::rename(temporary.data(), path.c_str()) != 0) {
        saved = false;
        saveError = errno;
    }
    if (!saved) {
        (void)std::remove(temporary.data()); // the error reported is the save's
        error = "cannot save " + path + ": " + reason(saveError);
    }
    return saved;
}
