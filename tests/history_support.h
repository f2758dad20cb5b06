// Shared by the history program's black-box suites: running it, reading its
// CSV, and session folders whose time crosses every kind of boundary.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "program_runner.h"

constexpr long long kT = 1704067200;  // 2024-01-01 00:00:00 UTC
constexpr long long kDay = 86400;

// The history program (QV_TEST_HISTORY_PROGRAM), natively or under Wine.
ProgramResult history(const std::vector<std::string> &args,
                      const std::vector<std::string> &env = {});

// The report of a run that must succeed; natively it writes nothing else.
std::string report(const std::vector<std::string> &args, const std::vector<std::string> &env = {});

// Records of RFC 4180 text, and its rows by column name (the heading row left
// out).
std::vector<std::vector<std::string>> csv_records(const std::string &text);
std::vector<std::map<std::string, std::string>> csv_rows(const std::string &text);

// The number after "key": in JSON text, from `from` on; -1 when there is none.
long long number_after(const std::string &text, const std::string &key, size_t from = 0);

// An event line at epoch second t.
std::string line(long long t, const std::string &event, const std::string &extra = "");

// Sessions chosen to cross every boundary: midnight, a month's end, a week's
// end, a daylight-saving change in New York, a meta.json start before the
// first line, a log back in time, no time at all, and a run left open.
void write_edge_sessions(const std::string &root);

// Zones to split by, with the environment that makes "local" New York.
extern const std::vector<std::vector<std::string>> kZones;
extern const std::vector<std::string> kNewYork;
