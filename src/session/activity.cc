#include "session/activity.h"

#include <cstdio>

int64_t session_activity_time(const DirListing *listing, const char *name) {
  char log[1024];
  int64_t time = 0;
  std::snprintf(log, sizeof log, "%s/events.jsonl", name);
  if (qv_listed_modified_time(listing, log, EntryKind::kRegularFile, &time) != 0) return time;
  if (qv_listed_modified_time(listing, name, EntryKind::kDirectory, &time) != 0) return time;
  return kNoActivity;
}
