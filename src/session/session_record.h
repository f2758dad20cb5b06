// Everything known about one agent session: a plain fixed-size value, created
// all-zero, filled in place by load_session and copied whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

constexpr int kMaxTools = 48;

struct SessionRecord {
  char dir[128];          // directory name under the sessions root
  char id[128];           // meta.json "id", else the directory name
  char start_time[40];    // verbatim, never reformatted
  int64_t start_epoch;    // meta.json "start_epoch", else first_epoch
  int64_t first_epoch;    // first accepted event line, file order
  int64_t last_epoch;     // last accepted event line, file order
  int64_t total_sec;      // wall-clock span
  int64_t active_sec;     // inside agent runs, at most total_sec
  int64_t idle_sec;       // total_sec - active_sec
  double duty_cycle_pct;  // 0.0 to 100.0
  int32_t turns;          // agent runs started
  int32_t is_active;      // "thinking" marker and no agent_complete
  char model[64];
  char provider[64];
  char profile[64];
  char branch[128];
  char cwd[512];
  int64_t tokens_in;
  int64_t tokens_out;
  int64_t cache_read;
  int64_t cache_write;
  char tool_names[kMaxTools][128];  // distinct, in order first seen
  int32_t tool_count;
  int32_t tool_calls[kMaxTools];
};

// A record is copied with one block copy and a table of them is one static block.
static_assert(std::is_trivially_copyable_v<SessionRecord>);
static_assert(std::is_standard_layout_v<SessionRecord>);
static_assert(std::is_trivially_default_constructible_v<SessionRecord>);
static_assert(sizeof(SessionRecord::dir) == 128 && sizeof(SessionRecord::start_time) == 40);
static_assert(sizeof(SessionRecord::cwd) == 512 &&
              sizeof(SessionRecord::tool_names) == size_t{48} * 128);
