#include "session/replay.h"

#include <bit>
#include <cstdint>
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

void add_tool_call(const char *tool, SessionRecord *record) {
  if (tool[0] == '\0') return;
  for (int i = 0; i < record->tool_count; ++i) {
    // Most names differ in their first byte; test that before the whole name.
    if (record->tool_names[i][0] == tool[0] && std::strcmp(record->tool_names[i], tool) == 0) {
      record->tool_calls[i] = add_saturating(record->tool_calls[i], 1);
      return;
    }
  }
  if (record->tool_count >= kMaxTools) return;
  str_copy(record->tool_names[record->tool_count], sizeof record->tool_names[0], tool);
  record->tool_calls[record->tool_count] = 1;
  ++record->tool_count;
}

void count_tool(const char *text, size_t length, SessionRecord *record) {
  char tool[128];
  if (json_get_str_n(text, length, "tool", tool, sizeof tool) != 0) add_tool_call(tool, record);
}

void fill_if_empty(const char *text, size_t length, const char *key, char *field, size_t capacity) {
  if (field[0] == '\0') json_get_str_n(text, length, key, field, capacity);
}

enum class EventKind { kOther, kSessionStart, kRunStart, kClose, kComplete, kToolUse };

EventKind classify(const char *event) {
  switch (event[0]) {
    case 's':
      if (std::strcmp(event, "session_start") == 0) return EventKind::kSessionStart;
      if (std::strcmp(event, "session_end") == 0) return EventKind::kClose;
      if (std::strcmp(event, "session_compact") == 0) return EventKind::kClose;
      return EventKind::kOther;
    case 'a':
      if (std::strcmp(event, "agent_run_start") == 0) return EventKind::kRunStart;
      if (std::strcmp(event, "agent_idle") == 0) return EventKind::kClose;
      if (std::strcmp(event, "agent_complete") == 0) return EventKind::kComplete;
      return EventKind::kOther;
    case 'u':
      return std::strcmp(event, "user_message") == 0 ? EventKind::kClose : EventKind::kOther;
    case 't':
      return std::strcmp(event, "tool_use") == 0 ? EventKind::kToolUse : EventKind::kOther;
    default:
      return EventKind::kOther;
  }
}

// Applies an accepted line of kind `kind` at time t. `tool_from` is where the
// search for "tool" may start (0, or later when the bytes before are known).
void apply_event(const char *text, size_t length, int64_t t, const char *ts, EventKind kind,
                 size_t tool_from, ReplayState *state, SessionRecord *record) {
  if (record->first_epoch == 0) record->first_epoch = t;
  record->last_epoch = t;
  switch (kind) {
    case EventKind::kSessionStart:
      if (record->start_time[0] == '\0') {
        str_copy(record->start_time, sizeof record->start_time, ts);
      }
      fill_if_empty(text, length, "model", record->model, sizeof record->model);
      fill_if_empty(text, length, "provider", record->provider, sizeof record->provider);
      fill_if_empty(text, length, "profile", record->profile, sizeof record->profile);
      break;
    case EventKind::kRunStart:
      if (state->in_run == 0) {
        record->turns = add_saturating(record->turns, 1);
        state->run_start = t;
        state->in_run = 1;
      }
      break;
    case EventKind::kComplete:
      close_run(state, record, t);
      record->is_active = 0;
      break;
    case EventKind::kClose:
      close_run(state, record, t);
      break;
    case EventKind::kToolUse:
      count_tool(text + tool_from, length - tool_from, record);
      break;
    case EventKind::kOther:
      break;
  }
}

// Index of the first double quote, backslash or NUL in text[from, limit), or
// limit. Eight bytes at a time: a byte equal to one of the three makes its
// lane zero after the xor, and the lowest flagged lane is the first match.
size_t find_value_stop(const char *text, size_t from, size_t limit) {
  size_t i = from;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    for (; i + 8 <= limit; i += 8) {
      uint64_t word = 0;
      std::memcpy(&word, text + i, 8);
      const uint64_t quote = word ^ (kOnes * '"');
      const uint64_t backslash = word ^ (kOnes * '\\');
      const uint64_t found = ((word - kOnes) & ~word) | ((quote - kOnes) & ~quote) |
                             ((backslash - kOnes) & ~backslash);
      if ((found & kHighs) != 0)
        return i + static_cast<size_t>(std::countr_zero(found & kHighs)) / 8;
    }
  }
  for (; i < limit; ++i) {
    if (text[i] == '"' || text[i] == '\\' || text[i] == '\0') return i;
  }
  return limit;
}

// Copies the string value that begins at text[from] when it is plain: closed
// by a double quote within the piece, with no backslash or NUL, and short
// enough for `out`. Answers the index of the closing quote, or 0 when the
// value is not plain and the general lookup must read it.
size_t copy_plain_value(const char *text, size_t length, size_t from, char *out, size_t capacity) {
  const size_t limit = from + capacity - 1 < length ? from + capacity - 1 : length;
  const size_t stop = find_value_stop(text, from, limit);
  if (stop == limit || text[stop] != '"') return 0;
  std::memcpy(out, text + from, stop - from);
  out[stop - from] = '\0';
  return stop;
}

bool starts_with(const char *text, size_t length, size_t at, const char *prefix,
                 size_t prefix_length) {
  return at + prefix_length <= length && std::memcmp(text + at, prefix, prefix_length) == 0;
}

}  // namespace

void replay_line_plain(const char *text, size_t length, ReplayState *state, SessionRecord *record) {
  char ts[40];
  if (json_get_str_n(text, length, "ts", ts, sizeof ts) == 0) return;
  const int64_t t = parse_event_time(ts);
  if (t <= 0) return;
  char event[48];
  json_get_str_n(text, length, "event", event, sizeof event);
  apply_event(text, length, t, ts, classify(event), 0, state, record);
}

// The agent writes lines as {"ts":"...","event":"...","tool":"...",...}. For
// lines of that shape the keys are read where they stand instead of being
// searched for; every other line takes the general lookups. Both give the same
// values: where a plain "ts" value of at least 19 bytes closes, no occurrence
// of "event" or "tool" can have begun yet, so searching on from there finds
// the same first occurrence as searching from the start.
void replay_line(const char *text, size_t length, ReplayState *state, SessionRecord *record) {
  static const char kTsPrefix[] = "{\"ts\":\"";
  static const char kEventJoin[] = "\",\"event\":\"";
  static const char kToolJoin[] = "\",\"tool\":\"";

  char ts[40];
  size_t ts_end = 0;
  if (starts_with(text, length, 0, kTsPrefix, sizeof kTsPrefix - 1)) {
    ts_end = copy_plain_value(text, length, sizeof kTsPrefix - 1, ts, sizeof ts);
  }
  if (ts_end == 0 && json_get_str_n(text, length, "ts", ts, sizeof ts) == 0) return;
  const int64_t t = parse_event_time(ts);
  if (t <= 0) return;
  if (ts_end == 0) {
    replay_line_plain(text, length, state, record);
    return;
  }

  char event[48];
  size_t event_end = 0;
  if (starts_with(text, length, ts_end, kEventJoin, sizeof kEventJoin - 1)) {
    event_end = copy_plain_value(text, length, ts_end + sizeof kEventJoin - 1, event, sizeof event);
  }
  if (event_end == 0) json_get_str_n(text + ts_end, length - ts_end, "event", event, sizeof event);
  const EventKind kind = classify(event);

  size_t tool_from = ts_end;
  if (kind == EventKind::kToolUse && event_end != 0) {
    tool_from = event_end;
    char tool[128];
    const size_t tool_end =
        starts_with(text, length, event_end, kToolJoin, sizeof kToolJoin - 1)
            ? copy_plain_value(text, length, event_end + sizeof kToolJoin - 1, tool, sizeof tool)
            : 0;
    if (tool_end != 0) {
      if (record->first_epoch == 0) record->first_epoch = t;
      record->last_epoch = t;
      add_tool_call(tool, record);
      return;
    }
  }
  apply_event(text, length, t, ts, kind, tool_from, state, record);
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
  // Active time never exceeds the total, but beyond 2^53 s the two round to
  // doubles on their own and the quotient can come out a hair above 100.
  if (record->duty_cycle_pct > 100.0) record->duty_cycle_pct = 100.0;
}
