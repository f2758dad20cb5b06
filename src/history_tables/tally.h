// Everything one page of the history shows, gathered in one pass over the
// sessions: the window's totals; its days, weeks and months; its projects,
// models and profiles; the sessions with the most active time; and the week's
// rhythm, active time by weekday and hour. Each table holds what the report of
// its own grouping holds for the same window.
#pragma once

#include <cstdint>

#include "history_tables/attribution.h"
#include "history_tables/calendar.h"
#include "history_tables/history_table.h"
#include "session/replay.h"
#include "session/session_record.h"

constexpr int kTopSessions = 20;
constexpr int kWeekCells = 7 * 24;

// A session as the report by session shows it.
struct TalliedSession {
  char dir[260];
  char id[128];
  char start[32];  // the span's start in the zone; "" when none
  int64_t start_epoch;
  char profile[64];
  char model[64];
  char cwd[512];
  bool live;
  Figures figures;  // inside the window
};

enum class Breakdown { kProject, kModel, kProfile };

struct HistoryTally {
  Zone zone;
  Window window;
  bool count_timeless;  // no window: sessions without time count by name
  int64_t session;      // number of the session being read
  Figures total;        // as the rows of time count it
  Figures named_total;  // as the named rows count it
  Figures session_figures;
  HistoryTable days;
  HistoryTable weeks;
  HistoryTable months;
  HistoryTable named[3];             // by Breakdown
  HistoryTable week;                 // row weekday * 24 + hour, Monday 00 first
  TalliedSession top[kTopSessions];  // most active first
  int32_t top_count;
  Calendar day_calendar;
  Calendar hour_calendar;
  Attribution by_day;
  Attribution by_hour;
  bool second_reading;
  bool second_by_day;  // which attributions the second reading feeds
  bool second_by_hour;
};

// `count_timeless` as for the named rows: when no window is given.
void tally_init(HistoryTally *tally, Zone zone, Window window, bool count_timeless);

// Starts the next session; its load is to be observed by tally_observer.
void tally_begin(HistoryTally *tally);
ReplayObserver tally_observer(HistoryTally *tally);

// After the load: whether the session must be read again (a long session
// whose pieces did not fit). tally_begin_second_reading starts that reading.
bool tally_needs_second_reading(const HistoryTally *tally);
void tally_begin_second_reading(HistoryTally *tally);

// Adds the loaded session `name` where it belongs; answers whether it counted.
bool tally_finish(HistoryTally *tally, const char *name, const SessionRecord &record);

// The name a session's row has in a breakdown: its project, model or profile,
// "unknown" when it has none.
const char *breakdown_key(Breakdown breakdown, const SessionRecord &record);
