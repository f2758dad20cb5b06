#include "history_writers/html_model.h"

#include <cstring>

#include "text/str_copy.h"

namespace {

constexpr int64_t kDayPeriodLimit = 92;    // days
constexpr int64_t kWeekPeriodLimit = 731;  // two years of days

// The first and last day with time in the table of days.
bool active_days(const HistoryTable &days, int64_t *first, int64_t *last) {
  if (days.count == 0) return false;
  *first = days.rows[days.by_number[0]].number;
  *last = days.rows[days.by_number[days.count - 1]].number;
  return true;
}

void shown_names(const HistoryTable &table, ShownRow *rows, int32_t *count) {
  static int32_t order[kMaxRows];
  const int32_t total = rows_in_report_order(&table, order);
  const bool rest = total > kShownNames || table.overflowed;
  const int32_t named = total > kShownNames ? kShownNames : total;
  for (int32_t i = 0; i < named; ++i) {
    str_copy(rows[i].key, sizeof rows[i].key, table.rows[order[i]].key);
    rows[i].figures = table.rows[order[i]].figures;
  }
  *count = named;
  if (!rest) return;
  ShownRow &other = rows[named];
  str_copy(other.key, sizeof other.key, table.other.key);
  other.figures = table.other.figures;
  for (int32_t i = named; i < total; ++i) add_figures(&other.figures, table.rows[order[i]].figures);
  *count = named + 1;
}

}  // namespace

const char *period_name(Period period) {
  return period == Period::kDay ? "day" : period == Period::kWeek ? "week" : "month";
}

Figures period_figures(const HistoryTable &table, int64_t number) {
  // Rows of time are in order of their numbers: halve the range.
  int32_t low = 0;
  int32_t high = table.count;
  while (low < high) {
    const int32_t middle = low + (high - low) / 2;
    if (table.rows[table.by_number[middle]].number < number) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low < table.count && table.rows[table.by_number[low]].number == number) {
    return table.rows[table.by_number[low]].figures;
  }
  return {};
}

void build_page_model(const HistoryTally &tally, const HtmlPage &page, PageModel *model) {
  std::memset(model, 0, sizeof *model);
  int64_t active_first = 0;
  int64_t active_last = 0;
  const bool active = active_days(tally.days, &active_first, &active_last);
  // The window given, or the days with activity where a bound is not given.
  model->has_window = active || page.since != nullptr || page.until != nullptr;
  int64_t first = page.since != nullptr ? page.since_day : active_first;
  int64_t last = page.until != nullptr ? page.until_day : active_last;
  if (!active) {
    if (page.since == nullptr) first = last;
    if (page.until == nullptr) last = first;
  }
  if (last < first) last = first;
  model->first_day = first;
  model->last_day = last;
  const int64_t span = last - first + 1;
  model->period = span <= kDayPeriodLimit    ? Period::kDay
                  : span <= kWeekPeriodLimit ? Period::kWeek
                                             : Period::kMonth;
  model->periods = model->period == Period::kDay    ? &tally.days
                   : model->period == Period::kWeek ? &tally.weeks
                                                    : &tally.months;
  int64_t from = period_of_day(model->period, first);
  int64_t to = period_of_day(model->period, last);
  // A window far wider than its activity draws the periods with activity.
  if (to - from + 1 > kMaxShownPeriods && active) {
    if (period_of_day(model->period, active_first) > from) {
      from = period_of_day(model->period, active_first);
    }
    if (period_of_day(model->period, active_last) < to)
      to = period_of_day(model->period, active_last);
  }
  if (to - from + 1 > kMaxShownPeriods) from = to - kMaxShownPeriods + 1;
  model->first_period = from;
  model->period_count = static_cast<int32_t>(to - from + 1);
  const int64_t last_week_start =
      period_first_day(Period::kWeek, period_of_day(Period::kWeek, last));
  const int64_t calendar_first = last_week_start - int64_t{7} * (kCalendarWeeks - 1);
  model->calendar_first_day = calendar_first;
  model->calendar_window_first = calendar_first > first ? calendar_first : first;
  for (int i = 0; i < 3; ++i) shown_names(tally.named[i], model->named[i], &model->named_count[i]);
}
