#include "report/now_output.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "cpu/vid.h"
#include "report/change_lines.h"
#include "report/format.h"
#include "report/json_report.h"
#include "report/json_writer.h"
#include "version.h"

namespace {

// A core's clock, for a core whose multiplier has a meaning: in MHz.
double frequencyMhz(const ProcessorProfile& profile, const CorePstate& pstate)
{
    return shownCoreMultiplier(profile, pstate.multiplier) * profile.refClockFactor * 100.0;
}

// "P2, 16x at 1.2V (3200 MHz)", "P0, 20x at 1.35V (4000 MHz, boosted)".
std::string coreStateText(const ProcessorProfile& profile, const CoreNow& core)
{
    std::string text = "P" + std::to_string(core.pstate);
    std::vector<std::string> notes;
    if (core.definition) {
        text += ", " + clockText(profile, CorePstateItem{*core.definition});
        if (core.definition->multiplier >= 0.0)
            notes.push_back(numberText(frequencyMhz(profile, *core.definition)) + " MHz");
    }
    if (core.boosted)
        notes.emplace_back("boosted");
    for (std::size_t i = 0; i < notes.size(); ++i)
        text += (i == 0 ? " (" : ", ") + notes[i];
    return text + (notes.empty() ? "" : ")");
}

std::string tctlText(const NodeNow& node)
{
    return node.tctl ? numberText(*node.tctl) + "C" : std::string();
}

// The cores in one state, and that state's text.
struct CoreGroup {
    std::vector<std::int32_t> cores;
    std::string state;
};

// The online cores grouped by state, in the order of each group's first
// core; an offline core is a group of its own with an empty state.
std::vector<CoreGroup> groupCores(const ProcessorProfile& profile, const NowSample& sample)
{
    std::vector<CoreGroup> groups;
    for (const CoreNow& core : sample.cores) {
        if (!core.online) {
            groups.push_back(CoreGroup{{core.core}, std::string()});
            continue;
        }
        const std::string state = coreStateText(profile, core);
        bool joined = false;
        for (CoreGroup& group : groups) {
            if (!group.state.empty() && group.state == state) {
                group.cores.push_back(core.core);
                joined = true;
                break;
            }
        }
        if (!joined)
            groups.push_back(CoreGroup{{core.core}, state});
    }
    return groups;
}

void appendColumn(std::string& line, const std::string& text, std::size_t width)
{
    if (!line.empty())
        line += ' ';
    if (text.size() < width)
        line.append(width - text.size(), ' ');
    line += text;
}

constexpr std::size_t kTimeWidth = 8; // HH:MM:SS
constexpr std::size_t kPstateWidth = 2; // P0 .. P7
constexpr std::size_t kTctlWidth = 7; // "-48.875C" is one more, and rare

std::string coreColumnName(std::int32_t core)
{
    return "c" + std::to_string(core);
}

std::string nodeColumnName(std::int32_t node)
{
    return "Tctl" + std::to_string(node);
}

std::string formattedTime(const char* format, const std::tm& parts)
{
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, format, &parts);
    return std::string(text, length);
}

} // namespace

void printNow(const ProcessorProfile& profile, const NowSample& sample)
{
    std::ostream& out = std::cout;
    out << "Pravellon v" << kPravellonVersion << std::endl;
    out << std::endl;
    out << ".:. Now" << std::endl;
    out << "---" << std::endl;
    for (const CoreGroup& group : groupCores(profile, sample)) {
        if (group.state.empty())
            out << "  Core " << group.cores.front() << " is offline" << std::endl;
        else
            out << "  " << numberListText("Core", group.cores) << ": " << group.state << std::endl;
    }
    for (const NodeNow& node : sample.nodes)
        out << "  Node " << node.node << ": Tctl " << (node.tctl ? tctlText(node) : "not available") << std::endl;
}

std::string nowColumnsHeader(const NowSample& sample)
{
    std::string line;
    appendColumn(line, "time", kTimeWidth);
    for (const CoreNow& core : sample.cores)
        appendColumn(line, coreColumnName(core.core), kPstateWidth);
    for (const NodeNow& node : sample.nodes)
        appendColumn(line, nodeColumnName(node.node), kTctlWidth);
    return line;
}

std::string nowColumnsLine(const NowSample& sample, std::time_t time)
{
    std::tm local{};
    (void)localtime_r(&time, &local);
    std::string line;
    appendColumn(line, formattedTime("%H:%M:%S", local), kTimeWidth);
    for (const CoreNow& core : sample.cores)
        appendColumn(line, core.online ? "P" + std::to_string(core.pstate) : "-",
                     std::max(kPstateWidth, coreColumnName(core.core).size()));
    for (const NodeNow& node : sample.nodes)
        appendColumn(line, node.tctl ? tctlText(node) : "-", std::max(kTctlWidth, nodeColumnName(node.node).size()));
    return line;
}

std::string nowJsonLine(const ProcessorProfile& profile, const NowSample& sample, std::time_t time)
{
    std::tm utc{};
    (void)gmtime_r(&time, &utc);
    JsonWriter json;
    json.beginObject();
    json.key("format").integer(kJsonFormat);
    json.key("time").string(formattedTime("%Y-%m-%dT%H:%M:%SZ", utc));
    json.key("cores").beginArray();
    for (const CoreNow& core : sample.cores) {
        json.beginObject();
        json.key("core").integer(core.core);
        if (!core.online) {
            json.key("offline").boolean(true);
            json.endObject();
            continue;
        }
        json.key("pstate").integer(core.pstate);
        const bool clockKnown = core.definition && core.definition->multiplier >= 0.0;
        if (clockKnown)
            json.key("multiplier").number(shownCoreMultiplier(profile, core.definition->multiplier));
        else
            json.key("multiplier").null();
        if (core.definition)
            json.key("voltage").number(vidToVoltage(profile, core.definition->vid));
        else
            json.key("voltage").null();
        if (clockKnown)
            json.key("frequency_mhz").number(frequencyMhz(profile, *core.definition));
        else
            json.key("frequency_mhz").null();
        json.key("boosted").boolean(core.boosted);
        json.endObject();
    }
    json.endArray();
    json.key("nodes").beginArray();
    for (const NodeNow& node : sample.nodes) {
        json.beginObject();
        json.key("node").integer(node.node);
        if (node.tctl)
            json.key("tctl_celsius").number(*node.tctl);
        else
            json.key("tctl_celsius").null();
        json.endObject();
    }
    json.endArray();
    // Nothing here warns; the member is there as in every object.
    writeJsonWarnings(json, Warnings{});
    json.endObject();
    return json.text();
}
