#pragma once
// Output that could not be written neither cuts a run in half nor passes for
// success. A reader that went away (SIGPIPE) or a file-size limit (SIGXFSZ)
// would otherwise kill the process between two register writes; both signals
// are ignored, so that the write fails instead (EPIPE, EFBIG) and the run goes
// on to its end. Standard output is still written line by line, as each line
// is flushed, and the first write that fails is remembered. When the process
// ends, by a return from main or by exit(3) inside err(3), a failed standard
// output is reported on standard error and the exit status becomes 1. A
// closed standard descriptor counts as one that cannot be written.

#include <string>

// Status of a run whose output could not be written.
constexpr int kStatusOutputFailed = 1;

// Arranges all of the above for the program named program (the prefix of its
// message: "PROGRAM: cannot write standard output: REASON"). otherFailure,
// when given, is asked at exit for another output the run owes; a non-empty
// answer is printed as "PROGRAM: ANSWER" and makes the status 1 as well.
// Called first in main, so that its exit handler runs after every other.
// False with errno set when it cannot be arranged.
bool checkOutputAtExit(const char* program, std::string (*otherFailure)() = nullptr);

// The error of the first write to standard output that failed; 0 while every
// write went through, or where the check was not arranged.
int standardOutputError();

// A standard output whose reader went away (EPIPE) is, from now on, no failure
// at exit: a run that samples until its reader has had enough ends so.
void acceptClosedStandardOutput();

// Makes the exit status 1 when the process ends, for a failure that another
// exit handler has already reported (pravellon-sim's machine file that could
// not be saved): exit(3) cannot be called again from there.
void failAtExit();
