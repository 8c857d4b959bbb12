#pragma once
// --help (or -h) and --version: what a system tool answers on any machine,
// before it looks for a processor. Only as the sole argument; anywhere else
// they are whatever the program makes of them (for pravellon, invalid tokens).

// Answers --help, -h or --version as the only argument on standard output and
// returns true: the usage, or "PROGRAM VERSION". False, having printed
// nothing, for any other arguments.
bool answerHelpOrVersion(int argc, const char* const* argv, const char* program, const char* usage);
