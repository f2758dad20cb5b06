// Reading one session directory into a SessionRecord.
#pragma once

#include "session/replay.h"
#include "session/session_record.h"

// Fills `record` from root/name: meta.json, then stats.json, the "thinking"
// marker, the event log and the totals. Answers 0 only when root/name is not an
// existing directory (the record then holds just dir and id).
int load_session(const char *root, const char *name, SessionRecord *record);

// load_session, with the replay telling `observer` what it counts.
int load_session_observed(const char *root, const char *name, SessionRecord *record,
                          const ReplayObserver &observer);

// The session's id and the start of its span (meta.json's start and the first
// accepted line's time), from meta.json and as few of the log's lines as that
// takes: enough to tell copies of one session from other sessions of the same
// folder name without replaying the whole log. Answers 0 only when root/name
// is not an existing directory.
int load_session_start(const char *root, const char *name, SessionRecord *record);
