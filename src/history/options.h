// The history program's command line, read the GNU way: long options only,
// "--opt VALUE" or "--opt=VALUE", any unambiguous prefix of a name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "history_tables/calendar.h"
#include "history_tables/grouping.h"
#include "history_tables/root_merge.h"
#include "history_writers/history_report.h"

struct HistoryOptions {
  // --root, as often as given; none: the sessions-root rules decide. A root
  // without a NAME is named by its path.
  NamedRoot roots[kMaxRoots];
  int root_count;
  bool root_named;  // some --root was given as NAME=DIR
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
  const char *output;  // --output: the file to write, or null for standard output
  bool help;
  bool version;
};

// Reads argv[1..argc). Answers 1, or 0 with a one-line message (without the
// program's name or a line feed) in `error` that names the bad input and the
// accepted forms.
int parse_history_options(int argc, char **argv, HistoryOptions *options, char *error,
                          size_t capacity);
