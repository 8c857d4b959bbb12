#pragma once
// The journal of a tuning run: a text file in the boot script's state
// directory, each line appended and synced before the step it announces, so
// that after a hang its last line says which P-state and voltage hung the
// machine. The lines, as the run writes them:
//
//   pravellon tuning journal 1
//   processor: ...
//   saved: /var/db/pravellon/tune-saved
//   options: --pstates 1-2 --seconds 60 --margin 0.025 --max-drop 0.2 --tctl-limit 80
//   P2 1.2125 testing
//   P2 1.2125 stable
//   P2 1.2 testing
//   P2 1.2 failed: core 5 computed a wrong answer
//   P2: result 1.2375
//   P1: stopped at the 0.2V floor
//   P1: result 1.275
//   finished
//
// A step cut by a requested end (INT, TERM, ...) is "P1 1.3 interrupted".
// Voltages are in volts as the report prints them, without the unit.
//
// A resume trusts the journal only for what a torn or edited line cannot
// make dangerous: which steps passed, within the P-state's floor, and which
// searches are over. Results are worked out again from those.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

extern const char* const kJournalFormatLine; // "pravellon tuning journal 1"

// The lines of a step and of a P-state's end.
std::string testingLine(std::int32_t pstate, double volts);
std::string stableLine(std::int32_t pstate, double volts);
std::string failedLine(std::int32_t pstate, double volts, const std::string& reason);
std::string interruptedLine(std::int32_t pstate, double volts);
std::string floorLine(std::int32_t pstate, double maxDrop);
std::string resultLine(std::int32_t pstate, double volts);

// What a P-state's lines say so far.
struct PstateProgress {
    double lowestStable = 0.0; // volts; 0 while no step passed
    bool stopped = false;      // a step failed or the floor was reached: its search is over
    bool ended = false;        // its result line was written
};

// A journal read back, for --resume and the boot script's message.
struct JournalState {
    bool valid = false;    // it starts with the format line
    bool finished = false; // its run ended: a "finished" or "ended" line
    // Its run ended on request (INT, TERM, ...) before it finished, the
    // settings given back: a resume may go on with it, as after a hang.
    bool interrupted = false;
    std::vector<std::string> header; // the processor, saved and options lines
    std::map<std::int32_t, PstateProgress> pstates;
    // The step that was running when the run stopped without a word, its
    // last step line "testing", or was cut by a requested end, "interrupted"
    // (pstate -1 when it is neither): a resume counts the first as failed
    // and tests the second again.
    std::int32_t unfinishedPstate = -1;
    std::string unfinishedVolts;
    bool unfinishedInterrupted = false; // cut on request, not by a hang
};

// Reads the journal's text. A line it does not know is left alone, so that a
// journal of a later version still tells what it can.
JournalState readJournal(const std::string& text);
