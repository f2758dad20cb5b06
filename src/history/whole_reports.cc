// The reports written whole once every session is read: the html page and the
// Prometheus figures.
#include <cstring>

#include "history/session_reading.h"
#include "history_tables/tally.h"
#include "history_writers/html_report.h"
#include "history_writers/prometheus_report.h"
#include "session/load_session.h"

namespace {

HistoryTally g_tally;
SessionRecord g_record;

// Loads a session for `observer`, twice when its pieces did not fit at
// first; false when it vanished or is not asked for.
template <typename NeedsSecond, typename BeginSecond>
bool load_observed(const RunReading &reading, int root, const char *name,
                   const ReplayObserver &observer, NeedsSecond needs_second,
                   BeginSecond begin_second) {
  const char *path = reading.roots->roots[root].path;
  if (load_session_observed(path, name, &g_record, observer) == 0) return false;
  if (!counts_copy(reading.roots, root, name, g_record)) return false;
  if (!passes_filters(*reading.options, g_record)) return false;
  if (!needs_second()) return true;
  begin_second();
  return load_session_observed(path, name, &g_record, observer) != 0;
}

void read_for_page(int root, const char *name, void *context) {
  const auto &reading = *static_cast<const RunReading *>(context);
  tally_begin(&g_tally);
  if (load_observed(
          reading, root, name, tally_observer(&g_tally),
          [] { return tally_needs_second_reading(&g_tally); },
          [] { tally_begin_second_reading(&g_tally); })) {
    tally_finish(&g_tally, name, g_record);
  }
}

// The Prometheus figures: rows by root, profile and model.
HistoryTable g_groups;
Calendar g_whole;
Attribution g_attribution;
MetricsRoot g_metrics_roots[kMaxRoots];
char g_key[kRowKeyCapacity];
int64_t g_session;

int64_t each_own_row(void * /*context*/, int64_t number) {
  return number;
}

void add_group_piece(void * /*context*/, int64_t /*number*/, const Figures &figures) {
  add_to_row(row_for_key(&g_groups, g_key), figures, g_session);
}

// A part of the key: the name, or "unknown", without control bytes, which
// the labels would drop and the key uses to separate its parts.
void append_part(const char *name, size_t *used) {
  if (name[0] == '\0') name = "unknown";
  for (const char *p = name; *p != '\0' && *used + 2 < sizeof g_key; ++p) {
    if (static_cast<unsigned char>(*p) >= 0x20) g_key[(*used)++] = *p;
  }
  g_key[*used] = '\0';
}

void read_for_metrics(int root, const char *name, void *context) {
  const auto &reading = *static_cast<const RunReading *>(context);
  ++g_session;
  attribution_begin(&g_attribution, false);
  if (!load_observed(
          reading, root, name, attribution_observer(&g_attribution),
          [] { return attribution_needs_second_reading(&g_attribution); },
          [] { attribution_begin(&g_attribution, true); })) {
    return;
  }
  size_t used = 0;
  g_key[0] = '\0';
  if (reading.roots->several || reading.roots->named)
    append_part(reading.roots->roots[root].name, &used);
  g_key[used++] = kMetricsKeySeparator;
  append_part(g_record.profile, &used);
  g_key[used++] = kMetricsKeySeparator;
  append_part(g_record.model, &used);
  const HistoryOptions &options = *reading.options;
  if (!attribution_finish(&g_attribution, g_record, !options.has_since && !options.has_until)) {
    return;
  }
  MetricsRoot &facts = g_metrics_roots[root];
  if (g_record.is_active != 0) ++facts.live;
  if (g_record.last_epoch > facts.newest) facts.newest = g_record.last_epoch;
}

}  // namespace

int write_page(RunReading *reading, const char *version, int64_t made) {
  const HistoryOptions &options = *reading->options;
  tally_init(&g_tally, options.zone, reading->window, !options.has_since && !options.has_until);
  const int failed = visit_run_sessions(reading, read_for_page, reading);
  if (failed >= 0) return cannot_list(kHistoryProgram, *reading->roots, failed);
  static char roots[8192];
  describe_roots(*reading->roots, roots, sizeof roots);
  const HtmlPage page = {roots,
                         options.zone_text,
                         options.has_since ? options.since_text : nullptr,
                         options.has_until ? options.until_text : nullptr,
                         options.since_day,
                         options.until_day,
                         version,
                         made};
  write_html_report(g_tally, page);
  return 0;
}

int write_metrics(RunReading *reading, const char *version) {
  history_table_init(&g_groups, false);
  calendar_init(&g_whole, reading->options->zone, Period::kWhole);
  attribution_init(&g_attribution, &g_whole, reading->window,
                   {nullptr, each_own_row, add_group_piece});
  g_session = 0;
  const RunRoots &roots = *reading->roots;
  for (int i = 0; i < roots.count; ++i) g_metrics_roots[i] = {roots.roots[i].name, 0, 0};
  const int failed = visit_run_sessions(reading, read_for_metrics, reading);
  if (failed >= 0) return cannot_list(kHistoryProgram, roots, failed);
  const MetricsInput input = {&g_groups, roots.several || roots.named, g_metrics_roots, roots.count,
                              version};
  write_prometheus(input);
  return 0;
}
