// The history program's command line, read the GNU way: long options only,
// "--opt VALUE" or "--opt=VALUE", any unambiguous prefix of a name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "history/calendar.h"

enum class GroupBy { kDay, kWeek, kMonth, kProfile, kModel, kProject, kSession };
enum class OutputFormat { kTable, kJson, kCsv };

struct HistoryOptions {
  const char *root;  // --root, or null: the sessions-root rules decide
  GroupBy by;
  Zone zone;
  char zone_text[16];  // "local", "utc" or "+05:30", as the reports name it
  // --since and --until as local days of the zone, and as given.
  bool has_since;
  bool has_until;
  int64_t since_day;
  int64_t until_day;
  char since_text[16];
  char until_text[16];
  const char *profile;  // null: any
  const char *model;
  const char *project;  // a part of the working directory
  OutputFormat format;
  bool help;
  bool version;
};

// Reads argv[1..argc). Answers 1, or 0 with a one-line message (without the
// program's name or a line feed) in `error` that names the bad input and the
// accepted forms.
int parse_history_options(int argc, char **argv, HistoryOptions *options, char *error,
                          size_t capacity);

// The name of a grouping as options and reports spell it: "day", "session"...
const char *group_by_name(GroupBy by);
// Whether the grouping is by time and so splits sessions at its boundaries.
bool groups_by_time(GroupBy by);
Period period_of(GroupBy by);
