// Replay of a session's events.jsonl into its timing metrics.
#pragma once

#include <cstddef>
#include <cstdio>

#include "session/line_reader.h"
#include "session/session_record.h"

// State of one replay; zero at its start.
struct ReplayState {
  int in_run;
  int64_t run_start;
};

// Applies one line piece, text[0, length) (its line feed included when it has
// one), to the record. A NUL byte ends the piece's text early.
void replay_line(const char *text, size_t length, ReplayState *state, SessionRecord *record);

// Closes a run left open at the end of the log.
void replay_finish(const ReplayState *state, SessionRecord *record);

// Reads the whole log from `file`, piece by piece, and replays it.
void replay_events(FILE *file, SessionRecord *record);

// What a replay tells whoever splits a session's time further: every line it
// counts and every run, as the record takes them in, so that nothing is
// computed twice.
struct ReplayObserver {
  void *context;
  // An accepted line at time t; `tool_call` is 1 when it counted a tool call.
  void (*line)(void *context, int64_t t, int tool_call);
  // One run, which is one turn: from the line that opened it to the line that
  // closed it, or to the last accepted line when the log ends inside it. The
  // record's active time grew by end - start when that is positive.
  void (*run)(void *context, int64_t start, int64_t end);
};

// replay_events, telling `observer` what it counts.
void replay_events_observed(FILE *file, SessionRecord *record, const ReplayObserver &observer);

// Wall-clock span, clamped active time, idle time and duty cycle.
void compute_totals(SessionRecord *record);
