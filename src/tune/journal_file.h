#pragma once
// The journal on disk: in the state directory that the boot script keeps, so
// that a boot after a hang finds it. Every line is on disk before the run goes
// on to what it announces.

#include <string>
#include <vector>

// The boot script's state directory: PRAVELLON_STATE_DIR where it is set (the
// tests), else /var/db/pravellon on FreeBSD and /var/lib/pravellon elsewhere.
std::string stateDirectory();

// STATE/tune.
std::string journalPath();

// Takes the lock that one tuning at a time holds on the state directory
// itself, until the process ends: a second tuning, or a resume typed while
// the run it would resume still runs, would write the same registers under
// it. Empty when taken (or when there is no directory to lock, which the save
// then reports), else why not.
std::string lockTuning();

// Starts the journal at path afresh with the format line and header, on disk
// (the file and its directory entry) when it returns. Throws
// ExceptionWithMessage "cannot write the tuning journal PATH: REASON".
void startJournal(const std::string& path, const std::vector<std::string>& header);

// Appends line to the journal at path and syncs it to disk before it
// returns; throws as startJournal.
void appendJournalLine(const std::string& path, const std::string& line);

// The journal's text; false when there is none to read (missing, or not
// readable, with error set to why).
bool readJournalFile(const std::string& path, std::string& text, std::string& error);
