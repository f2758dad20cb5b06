// The history program's report on standard output: an aligned table, JSON, or
// CSV (RFC 4180). Rows arrive one at a time, so that a report of every
// session never has to be held.
#pragma once

#include <cstdint>

#include "history_tables/grouping.h"
#include "history_tables/history_table.h"
#include "history_tables/root_merge.h"

enum class OutputFormat { kTable, kJson, kCsv, kHtml, kPrometheus };

// What a report says of itself before its rows.
struct ReportHeading {
  GroupBy by;
  OutputFormat format;
  const char *zone_text;  // "local", "utc" or "+05:30"
  const char *since;      // --since as given, or null
  const char *until;
  const char *sessions_root;
  // With more than one root, the reports say which were read and which each
  // session is of.
  const NamedRoot *roots;
  int root_count;
};

// What a row of --by session shows of its session beside the figures.
struct SessionFacts {
  const char *dir;
  const char *id;
  const char *start;  // the span's start in the zone asked for; "" when none
  int64_t start_epoch;
  const char *profile;
  const char *model;
  const char *cwd;
  bool live;
  const char *root;  // its root's NAME, with several roots; else null
};

struct ReportWriter {
  GroupBy by;
  const NamedRoot *roots;  // with several roots, else null
  int root_count;
  OutputFormat format;
  int key_width;  // of the table's first column, in characters
  int64_t rows;
};

// Writes what comes before the rows. `key_width` is the widest key the table
// will show (it may grow no further than a cap).
void report_begin(ReportWriter *writer, const ReportHeading &heading, int key_width);

// A row of a grouping other than by session: its key and figures.
void report_row(ReportWriter *writer, const char *key, const Figures &figures);

// A row of --by session.
void report_session_row(ReportWriter *writer, const SessionFacts &facts, const Figures &figures);

// The total row and what ends the report.
void report_end(ReportWriter *writer, const Figures &total);
