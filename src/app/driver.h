#pragma once

// The whole program: probe, then report or parse and apply. Returns the exit
// status. Shared by pravellon and pravellon-sim so both run the same flow.
int runPravellon(int argc, const char* const* argv);
