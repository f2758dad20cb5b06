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
  SessionRecord records[kMaxSessions];  // load order, until the summary sorts them
  int32_t count;
};

// Lists the root's sub-directories (names beginning with "." skipped, names cut
// to 127 bytes, at most 1024) into table->names.
void scan_session_dirs(SessionTable *table, const char *root);

// Loads sessions from the names, in order, into table->records until 256 have
// loaded; `scratch` receives each load and only successful ones are copied.
void load_session_table(SessionTable *table, const char *root, SessionRecord *scratch);

// The first record, in load order, whose dir or else id equals `sid`.
const SessionRecord *find_session(const SessionTable *table, const char *sid);
