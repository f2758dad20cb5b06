// A one-line progress indicator on standard error, for a terminal only and
// only once the work has taken a second: "sessions read of sessions found".
#pragma once

#include <chrono>
#include <cstdint>

struct Progress {
  bool enabled;
  bool drawn;
  int64_t found;
  std::chrono::steady_clock::time_point started;
  std::chrono::steady_clock::time_point drawn_at;
};

// Starts the clock; `enabled` when standard error is a terminal.
void progress_begin(Progress *progress, bool enabled, int64_t found);

// Called after each session read; redraws the line at most ten times a second.
void progress_tick(Progress *progress, int64_t read);

// Erases the line, when one was drawn.
void progress_end(Progress *progress);
