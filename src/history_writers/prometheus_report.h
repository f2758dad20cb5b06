// The history in the Prometheus text exposition format 0.0.4, as
// node_exporter's textfile collector (and windows_exporter's) reads it:
// gauges in base units with HELP and TYPE, labelled by profile and model (and
// by root NAME when asked), no timestamps. Totals over the sessions there are
// fall when the agent deletes old ones, so none is a counter.
#pragma once

#include <cstdint>

#include "history_tables/history_table.h"

// Rows of `groups` are keyed "ROOT\x1fPROFILE\x1fMODEL"; ROOT is empty when
// the series carry no root label.
constexpr char kMetricsKeySeparator = '\x1f';

struct MetricsRoot {
  const char *name;
  int64_t live;    // sessions the agent is working in now
  int64_t newest;  // the newest activity, epoch seconds; 0 when none
};

struct MetricsInput {
  const HistoryTable *groups;
  bool by_root;  // series carry a root label
  const MetricsRoot *roots;
  int root_count;
  const char *version;
};

void write_prometheus(const MetricsInput &input);
