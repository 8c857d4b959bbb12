#include "cli/dry_run.h"

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "control/active_pstate.h"
#include "hw/recorded_writes.h"
#include "report/change_lines.h"

namespace {

constexpr const char* kVerb = "would change";

// The planned MSR writes that change a value, one line per MSR and pair of old
// and new values. The P-state request is said as the switch instead: the
// value it is given says nothing of the P-state, and a move away and back
// changes nothing.
std::vector<std::string> msrLines(const ProcessorProfile& profile)
{
    std::vector<std::string> lines;
    const std::vector<RecordedMsrWrite> writes = recordedMsrWrites();
    for (auto first = writes.begin(); first != writes.end();) {
        auto end = first;
        std::vector<CoreValues> changed;
        for (; end != writes.end() && end->msr == first->msr; ++end) {
            if (end->before != end->after)
                changed.push_back(CoreValues{end->core, end->before, end->after});
        }
        if (first->msr != kMsrPstateControl) {
            for (const RegisterChange& change : msrChanges(&profile, first->msr, changed))
                lines.push_back(changeLine(kVerb, change, profile.coreCount > 1));
        }
        first = end;
    }
    return lines;
}

} // namespace

void printPlannedChanges(const ProcessorProfile& profile, std::int32_t target,
                         const std::vector<std::int32_t>& switchedCores)
{
    std::vector<std::string> lines = msrLines(profile);
    for (const RecordedPciWrite& write : recordedPciWrites()) {
        if (write.before != write.after)
            lines.push_back(changeLine(
                kVerb, pciChange(&profile, write.device, write.function, write.reg, write.before, write.after), false));
    }
    if (!switchedCores.empty())
        lines.push_back("would switch " + coreListText(switchedCores) + " to P" + std::to_string(target));
    if (lines.empty())
        lines.emplace_back("nothing would change");
    for (const std::string& line : lines)
        std::cout << line << std::endl;
}
