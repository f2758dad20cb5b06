// Splits one session's time over the buckets of a calendar, inside a window
// of time, from what its replay tells: the span, every run and every counted
// tool call.
//
// A session whose accepted lines are in time order is split: wall time is the
// overlap of its span with each bucket, active time the overlap of each run,
// a turn counts where its run began, a tool call where its line is, tokens
// where the last line is. A session whose log goes back in time is not split:
// it counts whole, as its session reply gives it, in the bucket of its last
// line. A session without an accepted line has no time.
#pragma once

#include <cstdint>

#include "history_tables/calendar.h"
#include "history_tables/history_table.h"
#include "session/replay.h"
#include "session/session_record.h"

// The instants from begin up to, not including, end.
struct Window {
  int64_t begin;
  int64_t end;
};

// Where a session's figures go.
struct PieceSink {
  void *context;
  // The last bucket number whose figures go where those of `number` go.
  int64_t (*same_row_through)(void *context, int64_t number);
  // Adds figures of the buckets from `number` on (up to its same_row_through).
  void (*add)(void *context, int64_t number, const Figures &figures);
};

// A session's figures in one bucket while its replay runs, kept until the
// session is known to be in time order.
struct PendingPiece {
  int64_t turns;
  int64_t active_sec;
  int64_t tool_calls;
};

constexpr int kMaxPendingBuckets = 4096;

struct Attribution {
  Calendar *calendar;
  Window window;
  PieceSink sink;
  // The session being read.
  bool direct;        // figures go to the sink as they come (a second reading)
  bool any_line;      // an accepted line was seen
  bool out_of_order;  // a line went back in time
  bool overflowed;    // more buckets than the pending pieces hold
  int64_t previous;   // time of the line before
  int64_t base;       // bucket number of pending[0]
  int32_t used;       // pending[0, used) may be non-zero
  PendingPiece pending[kMaxPendingBuckets];
};

void attribution_init(Attribution *attribution, Calendar *calendar, Window window, PieceSink sink);

// Starts a session; `direct` for the second reading of a session that was in
// time order but touched more buckets than the pending pieces hold.
void attribution_begin(Attribution *attribution, bool direct);

// The observer to hand to the session's load.
ReplayObserver attribution_observer(Attribution *attribution);

// After the load: the session is in time order but could not be held, so it
// must be read again with attribution_begin(..., true).
bool attribution_needs_second_reading(const Attribution *attribution);

// Adds the session's figures to the sink, once its load is complete. Answers
// whether any part of the session lay inside the window. `count_timeless`:
// a session without an accepted line still counts (in bucket 0), as it does
// for keys that are not times when no window is given.
bool attribution_finish(Attribution *attribution, const SessionRecord &record, bool count_timeless);

// The start of a session's span as its session reply measures it: meta.json's
// start when usable, else the first accepted line.
int64_t span_start(const SessionRecord &record);
