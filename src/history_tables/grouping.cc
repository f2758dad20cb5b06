#include "history_tables/grouping.h"

#include <cstring>

namespace {

struct Named {
  const char *name;
  GroupBy by;
};

constexpr Named kGroupings[] = {{"day", GroupBy::kDay},         {"week", GroupBy::kWeek},
                                {"month", GroupBy::kMonth},     {"hour", GroupBy::kHour},
                                {"weekday", GroupBy::kWeekday}, {"profile", GroupBy::kProfile},
                                {"model", GroupBy::kModel},     {"project", GroupBy::kProject},
                                {"root", GroupBy::kRoot},       {"session", GroupBy::kSession}};

constexpr const char *kHourNames[24] = {"00", "01", "02", "03", "04", "05", "06", "07",
                                        "08", "09", "10", "11", "12", "13", "14", "15",
                                        "16", "17", "18", "19", "20", "21", "22", "23"};
constexpr const char *kWeekdayNames[7] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                          "Friday", "Saturday", "Sunday"};

int64_t floor_mod(int64_t a, int64_t b) {
  const int64_t r = a % b;
  return r < 0 ? r + b : r;
}

}  // namespace

const char *group_by_name(GroupBy by) {
  for (const Named &named : kGroupings) {
    if (named.by == by) return named.name;
  }
  return "day";
}

bool find_grouping(const char *name, GroupBy *by) {
  for (const Named &named : kGroupings) {
    if (std::strcmp(named.name, name) == 0) {
      *by = named.by;
      return true;
    }
  }
  return false;
}

bool groups_by_time(GroupBy by) {
  return by == GroupBy::kDay || by == GroupBy::kWeek || by == GroupBy::kMonth ||
         by == GroupBy::kHour || by == GroupBy::kWeekday;
}

Period period_of(GroupBy by) {
  switch (by) {
    case GroupBy::kDay:
      return Period::kDay;
    case GroupBy::kWeek:
      return Period::kWeek;
    case GroupBy::kMonth:
      return Period::kMonth;
    case GroupBy::kHour:
    case GroupBy::kWeekday:
      return Period::kHour;
    default:
      return Period::kWhole;
  }
}

int folded_row_count(GroupBy by) {
  return by == GroupBy::kHour ? 24 : by == GroupBy::kWeekday ? 7 : 0;
}

int64_t folded_row(GroupBy by, int64_t hour_number) {
  if (by == GroupBy::kHour) return floor_mod(hour_number, 24);
  // Hour 0 is on 1970-01-01, a Thursday.
  const int64_t day = (hour_number - floor_mod(hour_number, 24)) / 24;
  return floor_mod(day + 3, 7);
}

const char *folded_row_name(GroupBy by, int64_t row) {
  if (row < 0) row = 0;
  if (by == GroupBy::kHour) return kHourNames[row % 24];
  return kWeekdayNames[row % 7];
}
