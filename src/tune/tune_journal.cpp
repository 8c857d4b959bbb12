#include "tune/tune_journal.h"

#include <optional>
#include <sstream>

#include "cli/number_text.h"
#include "report/format.h"

const char* const kJournalFormatLine = "pravellon tuning journal 1";

namespace {

std::string pstateName(std::int32_t pstate)
{
    return "P" + std::to_string(pstate);
}

std::string stepLine(std::int32_t pstate, double volts, const std::string& what)
{
    return pstateName(pstate) + " " + numberText(volts) + " " + what;
}

bool startsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

// "P2 ..." or "P2: ...": the P-state and the rest after the space; false for
// another line.
bool pstateOf(const std::string& line, std::int32_t& pstate, std::string& rest, bool colon)
{
    if (line.size() < 4 || line[0] != 'P' || line[1] < '0' || line[1] > '7')
        return false;
    const std::size_t space = colon ? 3 : 2;
    if ((colon && line[2] != ':') || line[space] != ' ')
        return false;
    pstate = line[1] - '0';
    rest = line.substr(space + 1);
    return true;
}

} // namespace

std::string testingLine(std::int32_t pstate, double volts)
{
    return stepLine(pstate, volts, "testing");
}

std::string stableLine(std::int32_t pstate, double volts)
{
    return stepLine(pstate, volts, "stable");
}

std::string failedLine(std::int32_t pstate, double volts, const std::string& reason)
{
    return stepLine(pstate, volts, "failed: " + reason);
}

std::string interruptedLine(std::int32_t pstate, double volts)
{
    return stepLine(pstate, volts, "interrupted");
}

std::string floorLine(std::int32_t pstate, double maxDrop)
{
    return pstateName(pstate) + ": stopped at the " + numberText(maxDrop) + "V floor";
}

std::string resultLine(std::int32_t pstate, double volts)
{
    return pstateName(pstate) + ": result " + numberText(volts);
}

JournalState readJournal(const std::string& text)
{
    JournalState state;
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kJournalFormatLine)
        return state;
    state.valid = true;
    while (std::getline(lines, line)) {
        std::int32_t pstate = 0;
        std::string rest;
        if (startsWith(line, "processor: ") || startsWith(line, "saved: ") || startsWith(line, "options: ")) {
            state.header.push_back(line);
        } else if (line == "finished") {
            state.finished = true;
            state.interrupted = false;
        } else if (startsWith(line, "ending: ")) {
            // The endings by signal are named SIGINT, SIGTERM, ...; a run
            // already finished stays finished.
            state.interrupted = !state.finished && startsWith(line, "ending: SIG");
        } else if (startsWith(line, "ended")) {
            state.finished = true;
        } else if (line == "resumed") {
            state.finished = false;
            state.interrupted = false;
        } else if (pstateOf(line, pstate, rest, true)) {
            if (startsWith(rest, "result "))
                state.pstates[pstate].ended = true;
            else if (startsWith(rest, "stopped at "))
                state.pstates[pstate].stopped = true;
        } else if (pstateOf(line, pstate, rest, false)) {
            const std::size_t space = rest.find(' ');
            const std::string volts = rest.substr(0, space);
            const std::string what = space == std::string::npos ? std::string() : rest.substr(space + 1);
            const bool unfinished = what == "testing" || what == "interrupted";
            // A line torn by a crash tells nothing, and above all does not
            // close the step before it: a resume that tested that step again
            // could hang the machine at it again and again.
            if (unfinished || what == "stable" || startsWith(what, "failed: ")) {
                state.unfinishedPstate = unfinished ? pstate : -1;
                state.unfinishedVolts = unfinished ? volts : std::string();
                state.unfinishedInterrupted = what == "interrupted";
            }
            const std::optional<double> value = readDecimalText(volts, 'v');
            PstateProgress& progress = state.pstates[pstate];
            if (what == "stable" && value && (progress.lowestStable == 0.0 || *value < progress.lowestStable))
                progress.lowestStable = *value;
            progress.stopped = progress.stopped || startsWith(what, "failed: ");
        }
    }
    return state;
}
