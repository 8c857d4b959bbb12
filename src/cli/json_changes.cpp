#include "cli/json_changes.h"

#include <iostream>
#include <string>
#include <vector>

#include "cli/dry_run.h"
#include "hw/hex_text.h"
#include "report/change_lines.h"
#include "report/json_report.h"
#include "report/json_writer.h"

namespace {

void writeNumbers(JsonWriter& json, const char* key, const std::vector<std::int32_t>& numbers)
{
    json.key(key).beginArray();
    for (const std::int32_t n : numbers)
        json.integer(n);
    json.endArray();
}

// The fields' old halves, or new ones, each after its label, joined as the
// listing joins the pairs: "boost source 1, APM on".
std::string fieldsText(const std::vector<FieldChange>& fields, bool after)
{
    std::string text;
    for (const FieldChange& field : fields) {
        if (!text.empty())
            text += ", ";
        if (!field.label.empty())
            text += field.label + " ";
        text += after ? field.after : field.before;
    }
    return text;
}

void writeRegisterChange(JsonWriter& json, const RegisterChange& change)
{
    json.beginObject();
    json.key("register").string(change.name);
    if (change.cores.empty())
        writeNumbers(json, "nodes", change.nodes);
    else
        writeNumbers(json, "cores", change.cores);
    json.key("old").string(hexText(change.before));
    json.key("new").string(hexText(change.after));
    // A register the program does not decode has no texts, as its line has
    // none.
    if (!change.fields.empty()) {
        json.key("old_text").string(fieldsText(change.fields, false));
        json.key("new_text").string(fieldsText(change.fields, true));
    }
    json.endObject();
}

} // namespace

void printJsonChanges(const ProcessorProfile& profile, bool dryRun, std::int32_t target,
                      const std::vector<std::int32_t>& switchedCores, const Warnings& warnings)
{
    const std::vector<RegisterChange> changes = recordedChanges(profile);
    JsonWriter json;
    json.beginObject();
    json.key("format").integer(kJsonFormat);
    json.key("dry_run").boolean(dryRun);
    json.key("changed").boolean(!changes.empty() || !switchedCores.empty());
    json.key("changes").beginArray(JsonWriter::Layout::oneLineEach);
    for (const RegisterChange& change : changes)
        writeRegisterChange(json, change);
    if (!switchedCores.empty()) {
        json.beginObject();
        json.key("switch_to").integer(target);
        writeNumbers(json, "cores", switchedCores);
        json.endObject();
    }
    json.endArray();
    writeJsonWarnings(json, warnings);
    json.endObject();
    std::cout << json.text() << std::flush;
}
