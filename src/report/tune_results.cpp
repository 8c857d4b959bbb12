#include "report/tune_results.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "cpu/vid.h"
#include "report/format.h"
#include "report/json_report.h"
#include "report/json_writer.h"

namespace {

using Row = std::vector<std::string>;

double volts(const ProcessorProfile& profile, std::int32_t vid)
{
    return vidToVoltage(profile, vid);
}

std::string percentText(double fraction)
{
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.1f%%", fraction * 100.0);
    return text;
}

// The columns padded to their widest cell, two blanks apart, no blank at the
// end of a line.
std::string columnsText(const std::vector<Row>& rows)
{
    std::vector<std::size_t> widths;
    for (const Row& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    std::string text;
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += row[i] + (i + 1 < row.size() ? std::string(widths[i] - row[i].size() + 2, ' ') : "");
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + "\n";
    }
    return text;
}

} // namespace

double powerSaving(const ProcessorProfile& profile, const TunedPstate& tuned)
{
    const double ratio = volts(profile, tuned.resultVid) / volts(profile, tuned.originalVid);
    return 1.0 - ratio * ratio;
}

std::string resultTokens(const ProcessorProfile& profile, const std::vector<TunedPstate>& tuned)
{
    std::string text;
    for (const TunedPstate& p : tuned)
        text += (text.empty() ? "" : " ") + ("P" + std::to_string(p.pstate)) + "=@"
            + numberText(volts(profile, p.resultVid));
    return text;
}

std::string resultsText(const ProcessorProfile& profile, const std::vector<TunedPstate>& tuned, bool applied)
{
    std::vector<Row> rows{{"P-state", "multiplier", "original", "lowest stable", "result", "saving", ""}};
    for (const TunedPstate& p : tuned) {
        const double saved = volts(profile, p.originalVid) - volts(profile, p.resultVid);
        rows.push_back({"P" + std::to_string(p.pstate), multiplierText(p.multiplier),
                        voltageText(profile, p.originalVid), voltageText(profile, p.lowestStableVid),
                        voltageText(profile, p.resultVid), numberText(saved) + "V",
                        percentText(powerSaving(profile, p))});
    }
    return columnsText(rows) + "Tokens of the results: " + resultTokens(profile, tuned) + "\n"
        + (applied ? "The results are written.\n" : "The saved settings are given back; the tokens set the results.\n");
}

std::string resultsJson(const ProcessorProfile& profile, const std::vector<TunedPstate>& tuned, bool applied,
                        const Warnings& warnings)
{
    JsonWriter json;
    json.beginObject();
    json.key("format").integer(kJsonFormat);
    json.key("pstates").beginArray();
    for (const TunedPstate& p : tuned) {
        json.beginObject();
        json.key("index").integer(p.pstate);
        json.key("multiplier").number(p.multiplier);
        json.key("original_voltage").number(volts(profile, p.originalVid));
        json.key("lowest_stable_voltage").number(volts(profile, p.lowestStableVid));
        json.key("result_voltage").number(volts(profile, p.resultVid));
        json.key("saving_voltage").number(volts(profile, p.originalVid) - volts(profile, p.resultVid));
        json.key("saving_power_percent").number(powerSaving(profile, p) * 100.0);
        json.endObject();
    }
    json.endArray();
    json.key("tokens").string(resultTokens(profile, tuned));
    json.key("applied").boolean(applied);
    writeJsonWarnings(json, warnings);
    json.endObject();
    return json.text();
}
