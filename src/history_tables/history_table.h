// The rows of a history report, in fixed tables: one row per day, week or
// month, or per profile, model or project. What does not fit is summed into
// one more row, "(other)".
#pragma once

#include <cstdint>

// What a row adds up. Idle time is wall time less active time.
struct Figures {
  int64_t sessions;
  int64_t turns;
  int64_t active_sec;
  int64_t wall_sec;
  int64_t tool_calls;
  int64_t input_tokens;
  int64_t output_tokens;
  int64_t cache_read_tokens;
  int64_t cache_creation_tokens;
};

// Adds every figure, sessions included; sums stop at the type's limits.
void add_figures(Figures *sum, const Figures &part);

constexpr int kMaxRows = 4096;
constexpr int kRowKeyCapacity = 512;  // a working directory's capacity

struct HistoryRow {
  int64_t number;             // the period's number, for rows of time
  char key[kRowKeyCapacity];  // the name, for the other rows
  Figures figures;
  int64_t last_session;  // the last session counted in `sessions`
};

struct HistoryTable {
  bool by_time;
  bool overflowed;  // some figures went to `other`
  int32_t count;
  HistoryRow rows[kMaxRows];
  HistoryRow other;
  // Rows of time: indices of `rows` by period number. Named rows: an open
  // hash of the names, -1 where free.
  int32_t by_number[kMaxRows];
  int32_t slots[2 * kMaxRows];
};

void history_table_init(HistoryTable *table, bool by_time);

// The row of period `number`: the one there is, a new one, or `other` when
// the table is full.
HistoryRow *row_for_number(HistoryTable *table, int64_t number);

// The last period number whose figures go to the row of `number`: `number`
// itself when it has or can get a row of its own; when the table is full and
// it has none, every number up to the next one that has a row (INT64_MAX when
// none follows), since they all go to `other`.
int64_t same_row_through(const HistoryTable *table, int64_t number);

// The row named `key` (cut to the key's capacity), a new one, or `other`.
HistoryRow *row_for_key(HistoryTable *table, const char *key);

// Adds `part` to `row`, counting session number `session` there once however
// many parts of it arrive.
void add_to_row(HistoryRow *row, const Figures &part, int64_t session);

// Indices of the rows in report order: rows of time by time, named rows with
// the most active time first (then by name). Answers how many.
int32_t rows_in_report_order(const HistoryTable *table, int32_t order[kMaxRows]);
