// What every way of reading a run's sessions shares: the options, the roots,
// the window, and the progress line.
#pragma once

#include <cstdint>

#include "history/options.h"
#include "history/progress.h"
#include "history/run_roots.h"
#include "history_tables/attribution.h"
#include "session/session_record.h"

constexpr const char *kHistoryProgram = "rudeze_duziruzuderi-history";

struct RunReading {
  const HistoryOptions *options;
  RunRoots *roots;
  Window window;
  int64_t active_since;  // sessions last active before are skipped unread
  Progress progress;
  int64_t read;
};

// Sets the window from the options and starts the progress line.
void begin_reading(RunReading *reading, const HistoryOptions &options, RunRoots *roots);

// Whether a loaded session is one the options ask for.
bool passes_filters(const HistoryOptions &options, const SessionRecord &record);

// Visits every session of every root, root by root in listing order, and ends
// the progress line. Answers -1, or the number of a root that could not be
// listed. The visitor leaves out the copies that count from another root
// (counts_copy) once it has loaded a session.
using RunSessionVisitor = void (*)(int root, const char *name, void *context);
int visit_run_sessions(RunReading *reading, RunSessionVisitor visit, void *context);

// The html page and the Prometheus figures, each from one pass over the
// sessions; answer the exit status.
int write_page(RunReading *reading, const char *version, int64_t made);
int write_metrics(RunReading *reading, const char *version);
