#include "history/history.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "history/options.h"
#include "history/progress.h"
#include "history/report_file.h"
#include "history/run_roots.h"
#include "history/session_reading.h"
#include "history/usage.h"
#include "history_tables/attribution.h"
#include "history_tables/calendar.h"
#include "history_tables/history_scan.h"
#include "history_tables/history_table.h"
#include "history_writers/history_report.h"
#include "output/output.h"
#include "platform/platform.h"
#include "session/load_session.h"
#include "text/str_copy.h"
#include "text/text_width.h"

namespace {

constexpr const char *kProgram = kHistoryProgram;

// Everything of one run, in static storage: the tables are large.
struct HistoryRun {
  const HistoryOptions *options;
  RunReading reading;
  bool count_timeless;
  int64_t session;  // number of the session being read
  int root;         // the root of the session being read
  Figures total;
  const char *key;  // named rows: the key of the session being read
  Figures session_figures;
  ReportWriter writer;
};

HistoryRun g_run;
RunRoots g_roots;
ReportFile g_report_file;
HistoryTable g_table;
Calendar g_calendar;
Attribution g_attribution;
SessionRecord g_record;

void count_in_total(const Figures &figures) {
  Figures part = figures;
  part.sessions = 0;
  add_figures(&g_run.total, part);
}

int64_t time_row_through(void * /*context*/, int64_t number) {
  return same_row_through(&g_table, number);
}

void add_time_row(void * /*context*/, int64_t number, const Figures &figures) {
  add_to_row(row_for_number(&g_table, number), figures, g_run.session);
  count_in_total(figures);
}

// Hours fold into the hour of the day or the day of the week.
void add_folded_row(void * /*context*/, int64_t number, const Figures &figures) {
  const int64_t row = folded_row(g_run.options->by, number);
  add_to_row(row_for_number(&g_table, row), figures, g_run.session);
  count_in_total(figures);
}

int64_t one_row_through(void * /*context*/, int64_t number) {
  return number;
}

void add_named_row(void * /*context*/, int64_t /*number*/, const Figures &figures) {
  add_to_row(row_for_key(&g_table, g_run.key), figures, g_run.session);
  count_in_total(figures);
}

void add_session_row(void * /*context*/, int64_t /*number*/, const Figures &figures) {
  Figures part = figures;
  part.sessions = 0;
  add_figures(&g_run.session_figures, part);
  count_in_total(figures);
}

const char *key_of(GroupBy by, const SessionRecord &record) {
  if (by == GroupBy::kRoot) return g_roots.roots[g_run.root].name;
  const char *key = by == GroupBy::kProfile ? record.profile
                    : by == GroupBy::kModel ? record.model
                                            : record.cwd;
  return key[0] != '\0' ? key : "unknown";
}

ReportHeading heading_of(const HistoryOptions &options) {
  return {options.by,
          options.format,
          options.zone_text,
          options.has_since ? options.since_text : nullptr,
          options.has_until ? options.until_text : nullptr,
          g_roots.roots[0].path,
          g_roots.roots,
          g_roots.count};
}

// Reads one session and adds it where it belongs; answers whether it counted.
bool read_session(int root, const char *name) {
  ++g_run.session;
  g_run.root = root;
  const char *path = g_roots.roots[root].path;
  attribution_begin(&g_attribution, false);
  const ReplayObserver observer = attribution_observer(&g_attribution);
  if (load_session_observed(path, name, &g_record, observer) == 0) return false;
  if (!counts_copy(&g_roots, root, name, g_record)) return false;
  if (!passes_filters(*g_run.options, g_record)) return false;
  if (attribution_needs_second_reading(&g_attribution)) {
    attribution_begin(&g_attribution, true);
    if (load_session_observed(path, name, &g_record, observer) == 0) return false;
  }
  g_run.key = key_of(g_run.options->by, g_record);
  if (!attribution_finish(&g_attribution, g_record, g_run.count_timeless)) return false;
  ++g_run.total.sessions;
  return true;
}

void read_for_table(int root, const char *name, void * /*context*/) {
  read_session(root, name);
}

// The widest session name, known from the first listing before the first row.
int g_longest;
bool g_begun;

void begin_session_report() {
  if (g_begun) return;
  g_begun = true;
  report_begin(&g_run.writer, heading_of(*g_run.options), g_longest);
}

void visit_session_row(int root, const char *name, void * /*context*/) {
  begin_session_report();
  if (out_failed()) return;  // nobody reads the rows any more
  ++g_run.reading.read;
  progress_tick(&g_run.reading.progress, g_run.reading.read);
  g_run.session_figures = {};
  if (!read_session(root, name)) return;
  g_run.session_figures.sessions = 1;
  char start[32] = "";
  const int64_t start_epoch = g_record.first_epoch != 0 ? span_start(g_record) : 0;
  if (start_epoch != 0) format_local_time(g_run.options->zone, start_epoch, start, sizeof start);
  const SessionFacts facts = {name,
                              g_record.id,
                              start,
                              start_epoch,
                              g_record.profile,
                              g_record.model,
                              g_record.cwd,
                              g_record.is_active != 0,
                              g_roots.several ? g_roots.roots[root].name : nullptr};
  // Rows go out as they come: a progress line on the same terminal is
  // erased first and drawn again later.
  Progress &progress = g_run.reading.progress;
  if (progress.enabled) progress_end(&progress);
  report_session_row(&g_run.writer, facts, g_run.session_figures);
  if (progress.enabled) out_flush();
}

const char *plural_of(GroupBy by) {
  switch (by) {
    case GroupBy::kDay:
      return "days";
    case GroupBy::kWeek:
      return "weeks";
    case GroupBy::kMonth:
      return "months";
    case GroupBy::kProfile:
      return "profiles";
    case GroupBy::kModel:
      return "models";
    case GroupBy::kRoot:
      return "roots";
    default:
      return "projects";
  }
}

void report_table(const HistoryOptions &options) {
  static int32_t order[kMaxRows];
  const int32_t count = rows_in_report_order(&g_table, order);
  const Period period = period_of(options.by);
  int key_width = text_width(g_table.other.key);
  char key[kRowKeyCapacity];
  for (int32_t i = 0; i < count && !g_table.by_time; ++i) {
    const int width = text_width(g_table.rows[order[i]].key);
    if (width > key_width) key_width = width;
  }
  if (g_table.by_time) key_width = folded_row_count(options.by) != 0 ? 9 : 10;
  report_begin(&g_run.writer, heading_of(options), key_width);
  for (int32_t i = 0; i < count; ++i) {
    const HistoryRow &row = g_table.rows[order[i]];
    if (folded_row_count(options.by) != 0) {
      str_copy(key, sizeof key, folded_row_name(options.by, row.number));
    } else if (g_table.by_time) {
      format_period(period, row.number, key, sizeof key);
    } else {
      str_copy(key, sizeof key, row.key);
    }
    report_row(&g_run.writer, key, row.figures);
  }
  if (g_table.overflowed) report_row(&g_run.writer, g_table.other.key, g_table.other.figures);
  report_end(&g_run.writer, g_run.total);
  if (g_table.overflowed) {
    err_format("%s: more than %d %s; the rest are summed in the row %s\n", kProgram, kMaxRows,
               plural_of(options.by), g_table.other.key);
  }
}

// When the report is made: SOURCE_DATE_EPOCH when set, so that a page of the
// same data is the same byte for byte; else now. False when it is no count.
bool made_at(int64_t *made) {
  const char *fixed = std::getenv("SOURCE_DATE_EPOCH");
  if (fixed == nullptr) {
    *made = static_cast<int64_t>(std::time(nullptr));
    return true;
  }
  int64_t value = 0;
  int digits = 0;
  for (const char *p = fixed; *p != '\0'; ++p, ++digits) {
    if (*p < '0' || *p > '9' || digits == 15) return false;
    value = value * 10 + (*p - '0');
  }
  *made = value;
  return digits > 0;
}

int run(int argc, char **argv) {
  static HistoryOptions options;
  char error[512];
  if (parse_history_options(argc, argv, &options, error, sizeof error) == 0) {
    err_format("%s: %s\n", kProgram, error);
    return 2;
  }
  if (options.help) {
    out_text(kUsage);
    return 0;
  }
  if (options.version) {
    out_format("%s %s\n", kProgram, QV_VERSION);
    out_text(
        "Copyright (C) 2026 the rudeze_duziruzuderi developers.\n"
        "License MIT: <https://opensource.org/license/mit>.\n"
        "This is free software: you are free to change and redistribute it.\n"
        "There is NO WARRANTY, to the extent permitted by law.\n");
    return 0;
  }
  int64_t made = 0;
  if (!made_at(&made)) {
    err_format("%s: SOURCE_DATE_EPOCH must be a count of seconds since 1970, such as 1765450800\n",
               kProgram);
    return 2;
  }
  g_run = {};
  g_run.options = &options;
  const int64_t active_since =
      options.has_since ? local_day_start(options.zone, options.since_day) : INT64_MIN;
  if (prepare_roots(options, active_since, kProgram, &g_roots) != 0) return 1;
  if (options.output != nullptr &&
      !report_file_open(&g_report_file, options.output, error, sizeof error)) {
    err_format("%s: %s\n", kProgram, error);
    return 1;
  }
  begin_reading(&g_run.reading, options, &g_roots);
  if (options.format == OutputFormat::kHtml) return write_page(&g_run.reading, QV_VERSION, made);
  if (options.format == OutputFormat::kPrometheus) return write_metrics(&g_run.reading, QV_VERSION);
  const bool by_time = groups_by_time(options.by);
  g_run.count_timeless = !by_time && !options.has_since && !options.has_until;
  calendar_init(&g_calendar, options.zone, period_of(options.by));
  history_table_init(&g_table, by_time);
  // Every hour of the day and every weekday has its row, zeros included.
  for (int row = 0; row < folded_row_count(options.by); ++row) row_for_number(&g_table, row);
  PieceSink sink = {nullptr, one_row_through, add_named_row};
  if (by_time) sink = {nullptr, time_row_through, add_time_row};
  if (folded_row_count(options.by) != 0) sink = {nullptr, one_row_through, add_folded_row};
  if (options.by == GroupBy::kSession) sink = {nullptr, one_row_through, add_session_row};
  attribution_init(&g_attribution, &g_calendar, g_run.reading.window, sink);
  if (options.by == GroupBy::kSession) {
    g_begun = false;
    g_longest = 0;
    static const char *paths[kMaxRoots];
    for (int i = 0; i < g_roots.count; ++i) paths[i] = g_roots.roots[i].path;
    const int failed = visit_roots_by_recency(paths, g_roots.count, g_run.reading.active_since,
                                              visit_session_row, nullptr, &g_longest);
    progress_end(&g_run.reading.progress);
    if (failed >= 0) return cannot_list(kProgram, g_roots, failed);
    begin_session_report();
    report_end(&g_run.writer, g_run.total);
  } else {
    const int failed = visit_run_sessions(&g_run.reading, read_for_table, nullptr);
    if (failed >= 0) return cannot_list(kProgram, g_roots, failed);
    report_table(options);
  }
  return 0;
}

}  // namespace

int run_history(int argc, char **argv) {
  out_begin();
  g_report_file = {};
  const int status = run(argc, argv);
  if (g_report_file.open) {
    char error[4200];
    if (!report_file_close(&g_report_file, status == 0, error, sizeof error) && status == 0) {
      err_format("%s: %s\n", kProgram, error);
      return 1;
    }
    return status;
  }
  out_flush();
  if (status == 0 && out_failed()) {
    // A reader that went away (as head does) knows; a full disk must be told.
    if (errno != EPIPE)
      err_format("%s: cannot write the report: %s\n", kProgram, std::strerror(errno));
    return 1;
  }
  return status;
}
