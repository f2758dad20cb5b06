// What the rows of a history report stand for: periods of time, hours of the
// day or days of the week, or a property of the sessions.
#pragma once

#include "history_tables/calendar.h"

enum class GroupBy {
  kDay,
  kWeek,
  kMonth,
  kHour,
  kWeekday,
  kProfile,
  kModel,
  kProject,
  kRoot,
  kSession
};

// The name of a grouping as options and reports spell it: "day", "session"...
const char *group_by_name(GroupBy by);

// The grouping of that name; false when there is none.
bool find_grouping(const char *name, GroupBy *by);

// Every name, for messages.
constexpr const char *kGroupingNames =
    "day, week, month, hour, weekday, profile, model, project, root or session";

// Whether the grouping is by time and so splits sessions at its boundaries.
bool groups_by_time(GroupBy by);

// The calendar's period that splits a session for the grouping: hours for the
// hour of the day and the weekday, which fold them into 24 or 7 rows.
Period period_of(GroupBy by);

// Rows of a folded grouping: 24 hours or 7 days, Monday first; 0 for others.
int folded_row_count(GroupBy by);

// The folded row of an hour bucket's number: its hour of the day, or its day
// of the week (0 is Monday).
int64_t folded_row(GroupBy by, int64_t hour_number);

// "00" to "23", or "Monday" to "Sunday".
const char *folded_row_name(GroupBy by, int64_t row);
