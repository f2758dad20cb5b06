// Replay of a session's events.jsonl into its timing metrics.
#pragma once

#include <cstddef>
#include <cstdio>

#include "session/session_record.h"

// Longest piece of a line examined at once: a longer line is examined as
// several pieces of at most this many bytes, each on its own.
constexpr size_t kLinePieceMax = 4095;

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

// Wall-clock span, clamped active time, idle time and duty cycle.
void compute_totals(SessionRecord *record);
