#include "session/replay.h"

#include <cstring>

#include "session/saturating.h"
#include "session/timestamp.h"
#include "text/json_lookup.h"
#include "text/query.h"

namespace {

void close_run(ReplayState *state, SessionRecord *record, int64_t t) {
  if (state->in_run != 0 && state->run_start < t) {
    record->active_sec = add_saturating(record->active_sec, t - state->run_start);
  }
  state->in_run = 0;
}

void count_tool(const char *text, size_t length, SessionRecord *record) {
  char tool[128];
  if (json_get_str_n(text, length, "tool", tool, sizeof tool) == 0 || tool[0] == '\0') return;
  for (int i = 0; i < record->tool_count; ++i) {
    if (std::strcmp(record->tool_names[i], tool) == 0) {
      record->tool_calls[i] = add_saturating(record->tool_calls[i], 1);
      return;
    }
  }
  if (record->tool_count >= kMaxTools) return;
  str_copy(record->tool_names[record->tool_count], sizeof record->tool_names[0], tool);
  record->tool_calls[record->tool_count] = 1;
  ++record->tool_count;
}

void fill_if_empty(const char *text, size_t length, const char *key, char *field, size_t capacity) {
  if (field[0] == '\0') json_get_str_n(text, length, key, field, capacity);
}

}  // namespace

void replay_line(const char *text, size_t length, ReplayState *state, SessionRecord *record) {
  char ts[40];
  if (json_get_str_n(text, length, "ts", ts, sizeof ts) == 0) return;
  const int64_t t = parse_event_time(ts);
  if (t <= 0) return;

  char event[48];
  json_get_str_n(text, length, "event", event, sizeof event);
  if (record->first_epoch == 0) record->first_epoch = t;
  record->last_epoch = t;

  if (std::strcmp(event, "session_start") == 0) {
    if (record->start_time[0] == '\0') str_copy(record->start_time, sizeof record->start_time, ts);
    fill_if_empty(text, length, "model", record->model, sizeof record->model);
    fill_if_empty(text, length, "provider", record->provider, sizeof record->provider);
    fill_if_empty(text, length, "profile", record->profile, sizeof record->profile);
  } else if (std::strcmp(event, "agent_run_start") == 0) {
    if (state->in_run == 0) {
      record->turns = add_saturating(record->turns, 1);
      state->run_start = t;
      state->in_run = 1;
    }
  } else if (std::strcmp(event, "agent_complete") == 0) {
    close_run(state, record, t);
    record->is_active = 0;
  } else if (std::strcmp(event, "agent_idle") == 0 || std::strcmp(event, "session_end") == 0 ||
             std::strcmp(event, "session_compact") == 0 ||
             std::strcmp(event, "user_message") == 0) {
    close_run(state, record, t);
  } else if (std::strcmp(event, "tool_use") == 0) {
    count_tool(text, length, record);
  }
}

void replay_finish(const ReplayState *state, SessionRecord *record) {
  if (state->in_run != 0 && record->last_epoch > state->run_start) {
    record->active_sec = add_saturating(record->active_sec, record->last_epoch - state->run_start);
  }
}

void replay_events(FILE *file, SessionRecord *record) {
  // Large reads; pieces are cut exactly where line reads into a 4096-byte
  // buffer would cut them: after a line feed, or after 4095 bytes.
  static char buffer[1 << 17];
  ReplayState state{};
  size_t begin = 0;
  size_t filled = 0;
  bool at_end = false;
  for (;;) {
    const size_t available = filled - begin;
    const size_t window = available < kLinePieceMax ? available : kLinePieceMax;
    const char *start = buffer + begin;
    const void *newline = std::memchr(start, '\n', window);
    size_t piece = 0;
    if (newline != nullptr) {
      piece = static_cast<size_t>(static_cast<const char *>(newline) - start) + 1;
    } else if (window == kLinePieceMax || (at_end && available > 0)) {
      piece = window;
    } else if (at_end) {
      break;
    } else {
      std::memmove(buffer, start, available);
      begin = 0;
      filled = available;
      const size_t got = std::fread(buffer + filled, 1, sizeof buffer - filled, file);
      filled += got;
      if (got == 0) at_end = true;
      continue;
    }
    replay_line(start, piece, &state, record);
    begin += piece;
  }
  replay_finish(&state, record);
}

void compute_totals(SessionRecord *record) {
  if (record->start_epoch == 0) record->start_epoch = record->first_epoch;
  const int64_t start = record->start_epoch;
  const int64_t first = record->first_epoch;
  const int64_t last = record->last_epoch;
  record->total_sec = (start > 0 && last > 0 && last >= start) ? last - start : 0;
  if (first < last && last - first > record->total_sec) record->total_sec = last - first;
  if (record->active_sec > record->total_sec) record->active_sec = record->total_sec;
  record->idle_sec = record->total_sec - record->active_sec;
  record->duty_cycle_pct = record->total_sec > 0 ? static_cast<double>(record->active_sec) * 100.0 /
                                                       static_cast<double>(record->total_sec)
                                                 : 0.0;
}
