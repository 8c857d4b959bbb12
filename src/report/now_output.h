#pragma once
// A sample of what the processor is doing, as the user sees it: the ".:. Now"
// section, one line of columns per sample (as vmstat prints), or one JSON
// object per sample on a line of its own (JSON Lines).

#include <ctime>
#include <string>

#include "cpu/processor_profile.h"
#include "report/now_sample.h"

// The report's title line, an empty line and the section: cores in the same
// state on one line, each node's Tctl. Each line flushed as it is printed.
void printNow(const ProcessorProfile& profile, const NowSample& sample);

// The columns' names, for the line above the samples: the time, each core,
// each node's Tctl.
std::string nowColumnsHeader(const NowSample& sample);

// A sample in those columns: the local time HH:MM:SS, each core's P-state
// ("-" for an offline core), each node's Tctl ("-" where not reported).
std::string nowColumnsLine(const NowSample& sample, std::time_t time);

// A sample as one JSON object and a newline, its time in UTC.
std::string nowJsonLine(const ProcessorProfile& profile, const NowSample& sample, std::time_t time);
