// What the history page shows, worked out once from the finished tally for
// both the page's marks and its embedded data, so that they cannot differ.
#pragma once

#include <cstdint>

#include "history_tables/calendar.h"
#include "history_tables/history_table.h"
#include "history_tables/tally.h"

// What the page says of itself.
struct HtmlPage {
  const char *sessions_root;
  const char *zone_text;
  const char *since;  // --since as given, or null
  const char *until;
  int64_t since_day;  // as local days, when given
  int64_t until_day;
  const char *version;
  int64_t made;  // when the page was made, seconds since 1970 UTC
};

// A row as the page shows it: a name (or period) and its figures.
struct ShownRow {
  char key[kRowKeyCapacity];
  Figures figures;
};

constexpr int kShownNames = 10;  // the largest; the rest share one more row
constexpr int kMaxShownPeriods = 400;
constexpr int kCalendarWeeks = 53;

struct PageModel {
  bool has_window;  // a first and last day are known
  int64_t first_day;
  int64_t last_day;
  Period period;  // of the time chart
  const HistoryTable *periods;
  int64_t first_period;  // the periods drawn
  int32_t period_count;
  int64_t calendar_first_day;     // the days of the calendar, up to last_day: 53 weeks
  int64_t calendar_window_first;  // those of the window in it
  ShownRow named[3][kShownNames + 1];
  int32_t named_count[3];
};

// `model` is large: give static storage.
void build_page_model(const HistoryTally &tally, const HtmlPage &page, PageModel *model);

// The figures of period `number` of the table, zeros when it has no row.
Figures period_figures(const HistoryTable &table, int64_t number);

// "day", "week" or "month".
const char *period_name(Period period);
