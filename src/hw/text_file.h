#pragma once
// Whole-file reading and saving for machine files, reporting failures as text
// for the user instead of ending the process. Every FILE in a message is the
// name as the caller gave it.

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>

// The most a machine file may hold: far beyond any processor's registers, and
// a bound on what a wrong name (a device, an endless file) can make us read.
constexpr std::uint64_t kMaxMachineFileSize = std::uint64_t{16} * 1024 * 1024;

// Opens the regular file path, takes an exclusive lock on it that the process
// holds until it ends, and reads it whole through the locked descriptor, so
// that runs on one file take turns. waiting is called once if another process
// holds the lock. status is the file's as read. False with error "cannot read
// FILE: reason" on failure.
bool lockAndReadFile(const std::string& path, std::string& text, struct stat& status, std::string& error,
                     const std::function<void()>& waiting);

// Reads the regular file path whole, no further than a machine file may be,
// without a lock. False with error "cannot read FILE: reason" on failure.
bool readWholeFile(const std::string& path, std::string& text, std::string& error);

// Whether replaceFileContent would refuse the file at path as it stands now
// (not a regular file, no write permission, another hard link), so that a
// run can be refused before it changes anything rather than fail to save
// what it changed. False with error "cannot save FILE: reason" when it would.
bool mayReplaceFile(const std::string& path, std::string& error);

// Replaces the file's content with text as one step: written beside it under a
// temporary name, flushed to the disk and renamed over it, so that a process
// killed while saving leaves either the old or the new file, never half of
// one, and no temporary file. The replacement keeps the file's owner, group
// and permissions; a file without any write permission, or with another hard
// link, is not replaced; through a symbolic link the file it names is. A file
// that does not exist is created. A file that another program put in the
// place of the one found (or read) is not overwritten, nor is a text larger
// than a machine file may be. When it is the file that lockAndReadFile
// locked, the lock passes to the replacement. False with error "cannot save
// FILE: reason" on failure.
bool replaceFileContent(const std::string& path, const std::string& text, std::string& error);

// Has hook called right before a save puts its new file in the old one's
// place (nullptr: none), so that a test can replace the file at that moment.
void setBeforeRename(void (*hook)());
