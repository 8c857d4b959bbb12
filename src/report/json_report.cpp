#include "report/json_report.h"

#include <cstdint>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "cpu/vid.h"
#include "report/format.h"
#include "report/json_writer.h"
#include "report/report_walk.h"

namespace {

// The JSON sink: the items as the walk hands them over, kept until the walk
// is over, since the object is printed whole or not at all.
struct JsonItems {
    GeneralItem general;
    BoostItem boost;
    PstateCountItem pstateCount;
    std::vector<CorePstateItem> corePstates;
    std::vector<DifferingCoreItem> differingCores;
    std::vector<OfflineCoreItem> offlineCores;
    std::vector<DifferingNodeItem> differingNodes;
    std::vector<NbPstateItem> nbPstates;

    void operator()(const GeneralItem& item) { general = item; }
    void operator()(const BoostItem& item) { boost = item; }
    void operator()(const PstateCountItem& item) { pstateCount = item; }
    void operator()(const CorePstateItem& item) { corePstates.push_back(item); }
    void operator()(const DifferingCoreItem& item) { differingCores.push_back(item); }
    void operator()(const OfflineCoreItem& item) { offlineCores.push_back(item); }
    void operator()(const DifferingNodeItem& item) { differingNodes.push_back(item); }
    void operator()(const ApmItem& /*item*/) {}
    void operator()(const NbPstateCountItem& /*item*/) {}
    void operator()(const NbPstateItem& item) { nbPstates.push_back(item); }
};

void writeGeneral(JsonWriter& json, const GeneralItem& general)
{
    json.key("processor").beginObject();
    json.key("family").integer(general.family);
    json.key("model").integer(general.model);
    json.key("cores").integer(general.coreCount);
    json.key("nodes").integer(general.nodeCount);
    json.key("cpus").integer(general.cpuCount);
    json.endObject();
    json.key("reference_clock_mhz").number(general.referenceClockMhz);
    json.key("multipliers").beginObject();
    json.key("min").number(general.minMultiplier);
    json.key("max").number(general.topMultiplier);
    json.endObject();
    json.key("voltages").beginObject();
    json.key("min").number(general.minVoltage);
    json.key("max").number(general.maxVoltage);
    json.key("step").number(general.voltageStep);
    json.endObject();
}

void writeBoost(JsonWriter& json, const BoostItem& boost)
{
    json.key("boost").beginObject();
    json.key("supported").boolean(boost.supported);
    if (boost.supported) {
        json.key("enabled").boolean(boost.enabled);
        json.key("locked").boolean(boost.locked);
        if (boost.maxMultiplier)
            json.key("max_multiplier").number(*boost.maxMultiplier);
    }
    json.endObject();
}

void writeCorePstate(JsonWriter& json, const ProcessorProfile& profile, const GeneralItem& general,
                     const CorePstateItem& item)
{
    const CorePstate& pstate = item.pstate;
    const double multiplier = shownCoreMultiplier(profile, pstate.multiplier);
    json.beginObject();
    json.key("index").integer(pstate.index);
    // A clock the divisor cannot name has neither multiplier nor frequency.
    if (multiplier >= 0.0)
        json.key("multiplier").number(multiplier);
    else
        json.key("multiplier").null();
    json.key("voltage").number(vidToVoltage(profile, pstate.vid));
    if (multiplier >= 0.0)
        json.key("frequency_mhz").number(multiplier * general.referenceClockMhz);
    else
        json.key("frequency_mhz").null();
    if (pstate.nbPstate >= 0) {
        json.key("nb_pstate").integer(pstate.nbPstate);
        if (pstate.nbVid >= 0)
            json.key("nb_voltage").number(vidToVoltage(profile, pstate.nbVid));
    }
    json.endObject();
}

void writePstates(JsonWriter& json, const ProcessorProfile& profile, const JsonItems& items)
{
    json.key("pstates").beginObject();
    json.key("enabled").integer(items.pstateCount.enabled);
    json.key("total").integer(items.pstateCount.total);
    if (items.pstateCount.boosted > 0) {
        json.key("boosted").beginArray();
        for (std::int32_t i = 0; i < items.pstateCount.boosted; ++i)
            json.integer(i);
        json.endArray();
    }
    json.key("list").beginArray(JsonWriter::Layout::oneLineEach);
    for (const CorePstateItem& item : items.corePstates)
        writeCorePstate(json, profile, items.general, item);
    json.endArray();
    json.endObject();
}

void writeNbPstates(JsonWriter& json, const ProcessorProfile& profile, const std::vector<NbPstateItem>& nbPstates)
{
    json.key("nb_pstates").beginArray();
    for (const NbPstateItem& item : nbPstates) {
        json.beginObject();
        json.key("index").integer(item.pstate.index);
        // The northbridge ratio is the register's own and is never scaled.
        json.key("multiplier").number(item.pstate.multiplier);
        json.key("voltage").number(vidToVoltage(profile, item.pstate.vid));
        json.endObject();
    }
    json.endArray();
}

// The cores or nodes that differ from the first, each with what differs.
template <typename Item>
void writeDiffering(JsonWriter& json, const char* key, const char* numberKey, const std::vector<Item>& items,
                    std::int32_t Item::*number)
{
    json.key(key).beginArray();
    for (const Item& item : items) {
        json.beginObject();
        json.key(numberKey).integer(item.*number);
        json.key("in").beginArray();
        for (const std::string& what : item.in)
            json.string(what);
        json.endArray();
        json.endObject();
    }
    json.endArray();
}

} // namespace

void writeJsonWarnings(JsonWriter& json, const Warnings& warnings)
{
    json.key("warnings").beginArray();
    for (const std::string& text : warnings)
        json.string(text);
    json.endArray();
}

void printJsonReport(const ProcessorProfile& profile)
{
    JsonItems items;
    walkReport(profile, [&items](const ReportItem& item) { std::visit(items, item); });

    JsonWriter json;
    json.beginObject(JsonWriter::Layout::oneLineEach);
    json.key("format").integer(kJsonFormat);
    writeGeneral(json, items.general);
    writeBoost(json, items.boost);
    writePstates(json, profile, items);
    writeNbPstates(json, profile, items.nbPstates);
    writeDiffering(json, "differing_cores", "core", items.differingCores, &DifferingCoreItem::core);
    writeDiffering(json, "differing_nodes", "node", items.differingNodes, &DifferingNodeItem::node);
    json.key("offline_cores").beginArray();
    for (const OfflineCoreItem& item : items.offlineCores)
        json.integer(item.core);
    json.endArray();
    // The report warns of nothing: what differs is among its items.
    writeJsonWarnings(json, Warnings{});
    json.endObject();
    std::cout << json.text() << std::flush;
}
