#include "history/session_reading.h"

#include <cstring>
#include <limits>

#include "history_tables/history_scan.h"
#include "platform/platform.h"

namespace {

constexpr int64_t kTimeMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kTimeMax = std::numeric_limits<int64_t>::max();

struct Visit {
  RunReading *reading;
  int root;
  RunSessionVisitor visit;
  void *context;
};

void visit_one(const char *name, void *context) {
  auto *visit = static_cast<Visit *>(context);
  ++visit->reading->read;
  progress_tick(&visit->reading->progress, visit->reading->read);
  visit->visit(visit->root, name, visit->context);
}

}  // namespace

void begin_reading(RunReading *reading, const HistoryOptions &options, RunRoots *roots) {
  reading->options = &options;
  reading->roots = roots;
  const Zone zone = options.zone;
  reading->window.begin = options.has_since ? local_day_start(zone, options.since_day) : kTimeMin;
  reading->window.end = options.has_until ? local_day_start(zone, options.until_day + 1) : kTimeMax;
  reading->active_since = options.has_since ? reading->window.begin : kTimeMin;
  reading->read = 0;
  const bool terminal = qv_stderr_is_terminal() != 0;
  int64_t found = 0;
  for (int i = 0; terminal && i < roots->count; ++i) {
    found += count_sessions(roots->roots[i].path, reading->active_since);
  }
  progress_begin(&reading->progress, terminal, found);
}

bool passes_filters(const HistoryOptions &options, const SessionRecord &record) {
  if (options.profile != nullptr && std::strcmp(record.profile, options.profile) != 0) {
    return false;
  }
  if (options.model != nullptr && std::strcmp(record.model, options.model) != 0) return false;
  return options.project == nullptr || std::strstr(record.cwd, options.project) != nullptr;
}

int visit_run_sessions(RunReading *reading, RunSessionVisitor visit, void *context) {
  for (int i = 0; i < reading->roots->count; ++i) {
    const int root = root_in_turn(*reading->roots, i);
    Visit state = {reading, root, visit, context};
    if (visit_sessions(reading->roots->roots[root].path, reading->active_since, visit_one,
                       &state) == 0) {
      progress_end(&reading->progress);
      return root;
    }
  }
  progress_end(&reading->progress);
  return -1;
}
