// Reading and saving machine files. pravellon-sim saves when its run ends,
// with the emulated devices still in place; the files here are never those
// devices, so the redirected open and close pass them straight through.

#include "hw/text_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "hw/ending_signals.h"
#include "hw/file_attributes.h"
#include "hw/hex_text.h"

namespace {

// The file whose lock this process holds, until it ends.
struct LockedFile {
    std::string path; // as given
    int fd = -1;
};

// Never destroyed: the lock is held through the exit handlers.
LockedFile& lockedFile()
{
    static LockedFile* const instance = new LockedFile;
    return *instance;
}

std::string reason(int error)
{
    return std::strerror(error);
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Only a regular file has an end and can be replaced by a rename; anything
// else (a FIFO, a device, a directory) is refused before it is read.
bool readableKind(const struct stat& status, std::string& why)
{
    if (!S_ISREG(status.st_mode)) {
        why = "not a regular file";
        return false;
    }
    if (static_cast<std::uint64_t>(status.st_size) > kMaxMachineFileSize) {
        why = "larger than 16 MiB";
        return false;
    }
    return true;
}

// Reads to the end, and no further than the limit, which a file growing while
// it is read could otherwise pass.
bool readAll(int fd, std::string& text, std::string& why)
{
    text.clear();
    std::vector<char> buffer(std::size_t{1} << 16);
    for (;;) {
        const ssize_t count = read(fd, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            why = reason(errno);
            return false;
        }
        if (count == 0)
            return true;
        text.append(buffer.data(), static_cast<std::size_t>(count));
        if (text.size() > kMaxMachineFileSize) {
            why = "larger than 16 MiB";
            return false;
        }
    }
}

std::string cannotRead(const std::string& path, const std::string& why)
{
    return "cannot read " + printable(path) + ": " + why;
}

bool writeAll(int fd, const std::string& text)
{
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = write(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string directoryOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The rename itself reaches the disk only with its directory. The file is in
// place by then whatever this says, and some file systems cannot flush a
// directory, so a failure here does not undo a save that has happened.
void flushDirectoryOf(const std::string& path)
{
    const int fd = open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)fsync(fd);
    (void)close(fd);
}

} // namespace

bool readWholeFile(const std::string& path, std::string& text, std::string& error)
{
    std::string why;
    struct stat opened {};
    // Not blocking, as below: a FIFO must not hold the run.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    bool read = false;
    if (fd < 0 || fstat(fd, &opened) != 0)
        why = reason(errno);
    else
        read = readableKind(opened, why) && readAll(fd, text, why);
    if (fd >= 0)
        (void)close(fd); // only read from
    if (!read)
        error = cannotRead(path, why);
    return read;
}

bool lockAndReadFile(const std::string& path, std::string& text, struct stat& status, std::string& error,
                     const std::function<void()>& waiting)
{
    bool announced = false;
    for (;;) {
        int fd = -1;
        const auto failed = [&](const std::string& why) {
            if (fd >= 0)
                (void)close(fd); // only read from
            error = cannotRead(path, why);
            return false;
        };
        std::string why;
        struct stat named {};
        if (stat(path.c_str(), &named) != 0)
            return failed(reason(errno));
        if (!readableKind(named, why))
            return failed(why);
        // Not blocking: if the name comes to stand for a FIFO meanwhile, the
        // open must not wait for a writer.
        fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return failed(reason(errno));
        struct stat opened {};
        if (fstat(fd, &opened) != 0)
            return failed(reason(errno));
        if (!readableKind(opened, why))
            return failed(why);
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK)
                return failed(reason(errno));
            if (!announced)
                waiting();
            announced = true;
            while (flock(fd, LOCK_EX) != 0)
                if (errno != EINTR)
                    return failed(reason(errno));
        }
        // The run we waited for saved by renaming a new file over this one:
        // the lock is then on a file that no longer has the name, and the
        // name's new file is the one to lock and read.
        if (stat(path.c_str(), &named) != 0 || !sameFile(named, opened)) {
            (void)close(fd);
            continue;
        }
        if (fstat(fd, &opened) != 0)
            return failed(reason(errno));
        if (!readAll(fd, text, why))
            return failed(why);
        status = opened;
        LockedFile& locked = lockedFile();
        if (locked.fd >= 0)
            (void)close(locked.fd);
        locked = LockedFile{path, fd};
        return true;
    }
}

namespace {

// Why a file with these links cannot be replaced as one step, or "".
std::string hardLinkProblem(const struct stat& status)
{
    if (status.st_nlink <= 1)
        return std::string();
    return "it has " + std::to_string(status.st_nlink) + " hard links";
}

// The file a save replaces, as found before the temporary file is made.
struct SaveTarget {
    std::string path;          // symbolic links resolved
    struct stat original {};   // valid when exists
    bool exists = false;       // false: the file is created
    bool holdsLock = false;    // it is the file lockAndReadFile locked
};

// A name that does not lead to a file may still be a symbolic link that
// leads nowhere yet: the file is then created where the link points, as the
// shell's > creates it, and the link stays. Follows path link by link to
// the name to create.
bool followDanglingLink(std::string& path, std::string& why)
{
    constexpr int kMostLinks = 40; // as the kernel follows them, then ELOOP
    for (int links = 0; links < kMostLinks; ++links) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return true; // created here, or found taken by the rename
        std::vector<char> link(static_cast<std::size_t>(status.st_size) + PATH_MAX + 1);
        const ssize_t size = readlink(path.c_str(), link.data(), link.size() - 1);
        if (size < 0) {
            why = reason(errno);
            return false;
        }
        const std::string to(link.data(), static_cast<std::size_t>(size));
        if (!to.empty() && to[0] == '/') {
            path = to;
        } else {
            path = directoryOf(path);
            path += '/';
            path += to;
        }
    }
    why = reason(ELOOP);
    return false;
}

// Whether the named file may be replaced, and by which path. False with why
// set when it may not.
bool checkTarget(const std::string& path, SaveTarget& target, std::string& why)
{
    const LockedFile& locked = lockedFile();
    target.holdsLock = locked.fd >= 0 && locked.path == path;
    target.exists
        = (target.holdsLock ? fstat(locked.fd, &target.original) : stat(path.c_str(), &target.original)) == 0;
    if (!target.exists && (target.holdsLock || errno != ENOENT)) {
        why = reason(errno);
        return false;
    }
    target.path = path;
    if (!target.exists)
        return followDanglingLink(target.path, why);
    if (!S_ISREG(target.original.st_mode)) {
        why = "not a regular file";
        return false;
    }
    // A file the user made read-only stays as it is, even for root, whom the
    // rename would let pass over its permissions.
    if ((target.original.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        why = reason(EACCES);
        return false;
    }
    if (access(path.c_str(), W_OK) != 0) {
        why = reason(errno);
        return false;
    }
    // A rename would leave the other names with the old content.
    why = hardLinkProblem(target.original);
    if (!why.empty())
        return false;
    // Through a symbolic link the file it names is replaced, not the link.
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        why = reason(errno);
        return false;
    }
    target.path = resolved;
    std::free(resolved);
    struct stat named {};
    if (stat(target.path.c_str(), &named) != 0) {
        why = reason(errno);
        return false;
    }
    if (!sameFile(named, target.original)) {
        why = "another program replaced it since it was read";
        return false;
    }
    return true;
}

// The new content's file until it is renamed over the target.
struct TemporaryFile {
    std::vector<char> path; // with its terminating 0, for the signal handler
    int fd = -1;
};

// Makes the temporary file beside the target, in the same directory so that
// the rename cannot cross file systems. It is named to the signal handler in
// the same step as it is made, so that no signal can leave it behind.
bool makeTemporary(const SaveTarget& target, TemporaryFile& temporary, std::string& why)
{
    temporary.path.assign(target.path.begin(), target.path.end());
    const char suffix[] = ".saving-XXXXXX";
    temporary.path.insert(temporary.path.end(), suffix, suffix + sizeof suffix); // with the terminating 0
    const sigset_t previous = holdEndingSignals();
    temporary.fd = mkstemp(temporary.path.data());
    const int createError = errno;
    if (temporary.fd >= 0)
        setFileToRemoveOnSignal(temporary.path.data());
    releaseEndingSignals(previous);
    if (temporary.fd >= 0)
        return true;
    why = reason(createError);
    return false;
}

void (*beforeRename)() = nullptr;

const char* const kReplacedMeanwhile = "another program replaced it since it was read";

// Whether the file at path is still the one the save found there.
bool stillTheTarget(const std::string& path, const SaveTarget& target)
{
    struct stat named {};
    return stat(path.c_str(), &named) == 0 && sameFile(named, target.original);
}

// Puts the temporary file in the target's place, unless another program put
// a file of its own there since the target was read: that file would be lost.
// Where the system can exchange two names in one step, the exchange itself
// shows what was replaced, and a wrong one is exchanged back; elsewhere the
// name is looked at right before the rename. False with why set on failure,
// the target as it was found and the temporary file still under its name.
bool putInPlace(const SaveTarget& target, const TemporaryFile& temporary, std::string& why)
{
    if (beforeRename != nullptr)
        beforeRename();
    if (target.exists) {
#ifdef RENAME_EXCHANGE
        if (renameat2(AT_FDCWD, temporary.path.data(), AT_FDCWD, target.path.c_str(), RENAME_EXCHANGE) == 0) {
            if (stillTheTarget(temporary.path.data(), target)) {
                (void)unlink(temporary.path.data()); // the old file, now under the temporary name
                return true;
            }
            (void)renameat2(AT_FDCWD, temporary.path.data(), AT_FDCWD, target.path.c_str(), RENAME_EXCHANGE);
            why = kReplacedMeanwhile;
            return false;
        }
        // A file system that cannot exchange names is checked as elsewhere.
        if (errno != EINVAL && errno != ENOSYS) {
            why = reason(errno);
            return false;
        }
#endif
        if (!stillTheTarget(target.path, target)) {
            why = kReplacedMeanwhile;
            return false;
        }
    }
    if (std::rename(temporary.path.data(), target.path.c_str()) != 0) {
        why = reason(errno);
        return false;
    }
    return true;
}

// Gives the temporary file the target's owner, group and permissions, writes
// text into it, flushes it and puts it in the target's place, then moves the
// lock over to it. On failure the temporary file is removed and the target
// stays as it was.
bool writeAndRename(const SaveTarget& target, const TemporaryFile& temporary, const std::string& text,
                    std::string& why)
{
    const int fd = temporary.fd;
    bool saved = true;
    // A failed step says what it could not do, when the reason alone would
    // leave the user guessing.
    const auto step = [&](bool done, const std::string& what = std::string()) {
        if (saved && !done) {
            saved = false;
            why = what + reason(errno);
        }
    };
    // Locked before it has the name, so that no other run can take it first.
    if (target.holdsLock)
        step(flock(fd, LOCK_EX | LOCK_NB) == 0);
    mode_t mode = 0;
    if (target.exists) {
        // Saved as root, the file stays the user's. Only root may give a file
        // away; a user who cannot keep its owner or group is told so rather
        // than left with a file that is no longer theirs.
        struct stat created {};
        step(fstat(fd, &created) == 0);
        const uid_t owner = target.original.st_uid;
        const gid_t group = target.original.st_gid;
        if (saved && (created.st_uid != owner || created.st_gid != group))
            step(fchown(fd, owner, group) == 0,
                 created.st_uid != owner ? "cannot give the new file its owner (uid " + std::to_string(owner) + "): "
                                         : "cannot give the new file its group (gid " + std::to_string(group) + "): ");
        mode = target.original.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        (void)umask(mask);
        mode = 0666 & ~mask;
    }
    if (saved) // after fchown, which clears the set-ID bits
        step(fchmod(fd, mode) == 0);
    // An ACL that lets another user write the file, say, must not vanish.
    if (saved && target.exists) {
        std::string attributesWhy;
        if (!copyFileAttributes(target.path, fd, attributesWhy)) {
            saved = false;
            why = "cannot copy its ACL and extended attributes: " + attributesWhy;
        }
    }
    if (saved)
        step(writeAll(fd, text));
    if (saved)
        step(fsync(fd) == 0);
    // No signal may remove the temporary name while it stands for the old
    // file, or for another program's file on its way back.
    const sigset_t previous = holdEndingSignals();
    if (saved)
        saved = putInPlace(target, temporary, why);
    if (!saved)
        (void)unlink(temporary.path.data()); // the error reported is the save's
    setFileToRemoveOnSignal(nullptr);
    releaseEndingSignals(previous);
    if (!saved) {
        (void)close(fd);
        return false;
    }
    flushDirectoryOf(target.path);
    LockedFile& locked = lockedFile();
    if (target.holdsLock) {
        (void)close(locked.fd); // the old file's lock: a run waiting on it starts over
        locked.fd = fd;
    } else {
        (void)close(fd); // written and flushed
    }
    return true;
}

} // namespace

bool mayReplaceFile(const std::string& path, std::string& error)
{
    SaveTarget target;
    std::string why;
    if (checkTarget(path, target, why))
        return true;
    error = "cannot save " + printable(path) + ": " + why;
    return false;
}

bool replaceFileContent(const std::string& path, const std::string& text, std::string& error)
{
    SaveTarget target;
    TemporaryFile temporary;
    std::string why;
    // The next run would refuse to read it.
    if (text.size() > kMaxMachineFileSize)
        why = "it would be larger than 16 MiB";
    else if (checkTarget(path, target, why) && makeTemporary(target, temporary, why)
        && writeAndRename(target, temporary, text, why))
        return true;
    error = "cannot save " + printable(path) + ": " + why;
    return false;
}

void setBeforeRename(void (*hook)())
{
    beforeRename = hook;
}
