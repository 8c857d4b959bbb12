#include "tune/journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "hw/exception_with_message.h"
#include "tune/tune_journal.h"

namespace {

[[noreturn]] void cannotWrite(const std::string& path, int error)
{
    throw ExceptionWithMessage("cannot write the tuning journal " + path + ": " + std::strerror(error));
}

// Writes text at the end of the open file fd and syncs it; the error number
// of what failed, 0 when all went to disk.
int writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(written);
    }
    return fsync(fd) == 0 ? 0 : errno;
}

void writeToJournal(const std::string& path, const std::string& text, int flags)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | flags, 0600);
    if (fd < 0)
        cannotWrite(path, errno);
    const int error = writeAll(fd, text);
    if (close(fd) != 0 && error == 0)
        cannotWrite(path, errno);
    if (error != 0)
        cannotWrite(path, error);
}

} // namespace

std::string stateDirectory()
{
    const char* const fromEnvironment = std::getenv("PRAVELLON_STATE_DIR");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0')
        return fromEnvironment;
#ifdef __FreeBSD__
    return "/var/db/pravellon";
#else
    return "/var/lib/pravellon";
#endif
}

std::string journalPath()
{
    return stateDirectory() + "/tune";
}

std::string lockTuning()
{
    const std::string directory = stateDirectory();
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::string();
    // Left open: the lock goes with the process, however it ends.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return std::string();
    const int error = errno;
    (void)close(fd);
    if (error == EWOULDBLOCK)
        return "a tuning runs on this machine already (it holds " + directory
            + "): wait for it to end, or end it with INT or TERM";
    return "cannot lock " + directory + ": " + std::strerror(error);
}

void startJournal(const std::string& path, const std::vector<std::string>& header)
{
    std::string text = std::string(kJournalFormatLine) + "\n";
    for (const std::string& line : header)
        text += line + "\n";
    writeToJournal(path, text, O_CREAT | O_TRUNC);
    // The new file's name on disk too, or a crash could leave no journal.
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        cannotWrite(path, errno);
    const int error = fsync(fd) == 0 ? 0 : errno;
    (void)close(fd);
    if (error != 0)
        cannotWrite(path, error);
}

void appendJournalLine(const std::string& path, const std::string& line)
{
    // Never created here: a journal without its header would tell no story.
    writeToJournal(path, line + "\n", O_APPEND);
}

bool readJournalFile(const std::string& path, std::string& text, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}
