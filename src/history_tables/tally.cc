#include "history_tables/tally.h"

#include <cstring>

#include "text/str_copy.h"

namespace {

// Pieces of days also make the weeks and months they lie in: a day never
// straddles either.
void add_day_piece(void *context, int64_t number, const Figures &figures) {
  auto *tally = static_cast<HistoryTally *>(context);
  add_to_row(row_for_number(&tally->days, number), figures, tally->session);
  add_to_row(row_for_number(&tally->weeks, period_of_day(Period::kWeek, number)), figures,
             tally->session);
  add_to_row(row_for_number(&tally->months, period_of_day(Period::kMonth, number)), figures,
             tally->session);
  Figures part = figures;
  part.sessions = 0;
  add_figures(&tally->total, part);
  add_figures(&tally->session_figures, part);
}

int64_t day_row_through(void *context, int64_t number) {
  const auto *tally = static_cast<const HistoryTally *>(context);
  return same_row_through(&tally->days, number);
}

int64_t floor_mod(int64_t a, int64_t b) {
  const int64_t r = a % b;
  return r < 0 ? r + b : r;
}

void add_hour_piece(void *context, int64_t number, const Figures &figures) {
  auto *tally = static_cast<HistoryTally *>(context);
  const int64_t day = (number - floor_mod(number, 24)) / 24;
  // Hour 0 is on 1970-01-01, a Thursday.
  const int64_t cell = floor_mod(day + 3, 7) * 24 + floor_mod(number, 24);
  add_to_row(row_for_number(&tally->week, cell), figures, tally->session);
}

int64_t each_own_row(void * /*context*/, int64_t number) {
  return number;
}

void on_line(void *context, int64_t t, int tool_call) {
  auto *tally = static_cast<HistoryTally *>(context);
  const ReplayObserver day = attribution_observer(&tally->by_day);
  const ReplayObserver hour = attribution_observer(&tally->by_hour);
  if (!tally->second_reading || tally->second_by_day) day.line(day.context, t, tool_call);
  if (!tally->second_reading || tally->second_by_hour) hour.line(hour.context, t, tool_call);
}

void on_run(void *context, int64_t start, int64_t end) {
  auto *tally = static_cast<HistoryTally *>(context);
  const ReplayObserver day = attribution_observer(&tally->by_day);
  const ReplayObserver hour = attribution_observer(&tally->by_hour);
  if (!tally->second_reading || tally->second_by_day) day.run(day.context, start, end);
  if (!tally->second_reading || tally->second_by_hour) hour.run(hour.context, start, end);
}

// Whether `a` ranks before `b` among the most active sessions.
bool more_active(const TalliedSession &a, const TalliedSession &b) {
  if (a.figures.active_sec != b.figures.active_sec) {
    return a.figures.active_sec > b.figures.active_sec;
  }
  return std::strcmp(a.dir, b.dir) < 0;
}

void keep_if_top(HistoryTally *tally, const char *name, const SessionRecord &record) {
  TalliedSession candidate{};
  str_copy(candidate.dir, sizeof candidate.dir, name);
  candidate.figures = tally->session_figures;
  int32_t at = tally->top_count;
  while (at > 0 && more_active(candidate, tally->top[at - 1])) --at;
  if (at == kTopSessions) return;
  str_copy(candidate.id, sizeof candidate.id, record.id);
  candidate.start_epoch = record.first_epoch != 0 ? span_start(record) : 0;
  if (candidate.start_epoch != 0) {
    format_local_time(tally->zone, candidate.start_epoch, candidate.start, sizeof candidate.start);
  }
  str_copy(candidate.profile, sizeof candidate.profile, record.profile);
  str_copy(candidate.model, sizeof candidate.model, record.model);
  str_copy(candidate.cwd, sizeof candidate.cwd, record.cwd);
  candidate.live = record.is_active != 0;
  const int32_t kept = tally->top_count < kTopSessions ? tally->top_count + 1 : kTopSessions;
  std::memmove(&tally->top[at + 1], &tally->top[at],
               sizeof tally->top[0] * static_cast<size_t>(kept - 1 - at));
  tally->top[at] = candidate;
  tally->top_count = kept;
}

}  // namespace

const char *breakdown_key(Breakdown breakdown, const SessionRecord &record) {
  const char *key = breakdown == Breakdown::kProfile ? record.profile
                    : breakdown == Breakdown::kModel ? record.model
                                                     : record.cwd;
  return key[0] != '\0' ? key : "unknown";
}

void tally_init(HistoryTally *tally, Zone zone, Window window, bool count_timeless) {
  tally->zone = zone;
  tally->window = window;
  tally->count_timeless = count_timeless;
  tally->session = 0;
  tally->total = {};
  tally->named_total = {};
  history_table_init(&tally->days, true);
  history_table_init(&tally->weeks, true);
  history_table_init(&tally->months, true);
  for (HistoryTable &table : tally->named) history_table_init(&table, false);
  history_table_init(&tally->week, true);
  for (int cell = 0; cell < kWeekCells; ++cell) row_for_number(&tally->week, cell);
  tally->top_count = 0;
  calendar_init(&tally->day_calendar, zone, Period::kDay);
  calendar_init(&tally->hour_calendar, zone, Period::kHour);
  attribution_init(&tally->by_day, &tally->day_calendar, window,
                   {tally, day_row_through, add_day_piece});
  attribution_init(&tally->by_hour, &tally->hour_calendar, window,
                   {tally, each_own_row, add_hour_piece});
}

void tally_begin(HistoryTally *tally) {
  ++tally->session;
  tally->session_figures = {};
  tally->second_reading = false;
  tally->second_by_day = false;
  tally->second_by_hour = false;
  attribution_begin(&tally->by_day, false);
  attribution_begin(&tally->by_hour, false);
}

ReplayObserver tally_observer(HistoryTally *tally) {
  return {tally, on_line, on_run};
}

bool tally_needs_second_reading(const HistoryTally *tally) {
  return attribution_needs_second_reading(&tally->by_day) ||
         attribution_needs_second_reading(&tally->by_hour);
}

void tally_begin_second_reading(HistoryTally *tally) {
  // Only the attributions that could not hold the session read it again;
  // the other has its pieces still pending.
  tally->second_reading = true;
  tally->second_by_day = attribution_needs_second_reading(&tally->by_day);
  tally->second_by_hour = attribution_needs_second_reading(&tally->by_hour);
  if (tally->second_by_day) attribution_begin(&tally->by_day, true);
  if (tally->second_by_hour) attribution_begin(&tally->by_hour, true);
}

bool tally_finish(HistoryTally *tally, const char *name, const SessionRecord &record) {
  if (record.first_epoch == 0) {
    // No time: it counts by name alone, and only when no window is given.
    if (!tally->count_timeless) return false;
    tally->session_figures.input_tokens = record.tokens_in;
    tally->session_figures.output_tokens = record.tokens_out;
    tally->session_figures.cache_read_tokens = record.cache_read;
    tally->session_figures.cache_creation_tokens = record.cache_write;
  } else {
    attribution_finish(&tally->by_hour, record, false);
    if (!attribution_finish(&tally->by_day, record, false)) return false;
    ++tally->total.sessions;
  }
  for (int i = 0; i < 3; ++i) {
    const char *key = breakdown_key(static_cast<Breakdown>(i), record);
    add_to_row(row_for_key(&tally->named[i], key), tally->session_figures, tally->session);
  }
  Figures counted = tally->session_figures;
  counted.sessions = 1;
  add_figures(&tally->named_total, counted);
  keep_if_top(tally, name, record);
  return true;
}
