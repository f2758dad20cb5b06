// The sessions one request reports on: directory names from one listing of the
// sessions root, and the records loaded from them.
#pragma once

#include <cstdint>

#include "session/session_record.h"

constexpr int kMaxSessionNames = 1024;
constexpr int kMaxSessions = 256;

struct SessionTable {
  char names[kMaxSessionNames][128];  // listing order
  int32_t name_count;
  SessionRecord records[kMaxSessions];  // listing order, until the summary sorts them
  int32_t count;
  // Set when the root held more session directories than the table has
  // records: the names are then the most recently active ones, and each has
  // its time of activity (least recent: kNoActivity).
  int32_t by_activity;
  int64_t name_times[kMaxSessionNames];
};

// Lists the root's sub-directories (names beginning with "." skipped, names cut
// to 127 bytes) into table->names. With at most 256 of them, all are named, in
// listing order, and no time is looked at. With more, the names are the 1024
// most recently active (the modification time of events.jsonl, or of the
// directory without one; ties go to listing order), however many the root
// holds, still in listing order.
void scan_session_dirs(SessionTable *table, const char *root);

// Loads sessions from the names into table->records until 256 have loaded;
// `scratch` receives each load and only successful ones are copied. Names are
// loaded in listing order, or most recently active first when the scan chose
// by activity; either way the records end in listing order.
void load_session_table(SessionTable *table, const char *root, SessionRecord *scratch);

// The first record, in table order, whose dir or else id equals `sid`.
const SessionRecord *find_session(const SessionTable *table, const char *sid);
