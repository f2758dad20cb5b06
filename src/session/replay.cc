#include "session/replay.h"

#include <cstdint>
#include <cstring>

#include "session/replay_plain.h"
#include "session/saturating.h"
#include "session/timestamp.h"
#include "text/blocks.h"
#include "text/json_lookup.h"
#include "text/str_copy.h"

namespace {

// The log is read in blocks of this size: few reads, and each block still
// fits the processor's cache while its lines are examined.
constexpr size_t kReadBlock = size_t{1} << 19;

// The plugin's replay: nothing is told, and the calls compile away.
struct Unobserved {
  void line(int64_t /*t*/, int /*tool_call*/) const {}
  void run(int64_t /*start*/, int64_t /*end*/) const {}
};

// A replay whose runs and counted lines are told to an observer.
struct Observed {
  const ReplayObserver *observer;
  void line(int64_t t, int tool_call) const { observer->line(observer->context, t, tool_call); }
  void run(int64_t start, int64_t end) const { observer->run(observer->context, start, end); }
};

template <typename Observer>
void close_run(ReplayState *state, SessionRecord *record, int64_t t, const Observer &observer) {
  if (state->in_run != 0) {
    if (state->run_start < t) {
      record->active_sec = add_saturating(record->active_sec, t - state->run_start);
    }
    observer.run(state->run_start, t);
  }
  state->in_run = 0;
}

// Whether name[0, length) and tool[0, length) are equal. Names are a few
// bytes long and mostly differ in their first: a loop here is cheaper than a
// call to memcmp.
bool same_name(const char *name, const char *tool, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (name[i] != tool[i]) return false;
  }
  return true;
}

// Counts a call of the tool named tool[0, length), a name without NUL bytes of
// at most 127 bytes, compared with the stored names where it stands. Answers 1
// when the call was counted: an empty name, or a new one past the last slot,
// counts nowhere.
int add_tool_call(const char *tool, size_t length, SessionRecord *record) {
  if (length == 0) return 0;
  for (int i = 0; i < record->tool_count; ++i) {
    const char *name = record->tool_names[i];
    if (name[0] == tool[0] && name[length] == '\0' && same_name(name, tool, length)) {
      record->tool_calls[i] = add_saturating(record->tool_calls[i], 1);
      return 1;
    }
  }
  if (record->tool_count >= kMaxTools) return 0;
  char *slot = record->tool_names[record->tool_count];
  std::memcpy(slot, tool, length);
  slot[length] = '\0';
  record->tool_calls[record->tool_count] = 1;
  ++record->tool_count;
  return 1;
}

int count_tool(const char *text, size_t length, SessionRecord *record) {
  char tool[128];
  if (json_get_str_n(text, length, "tool", tool, sizeof tool) == 0) return 0;
  return add_tool_call(tool, std::strlen(tool), record);
}

void fill_if_empty(const char *text, size_t length, const char *key, char *field, size_t capacity) {
  if (field[0] == '\0') json_get_str_n(text, length, key, field, capacity);
}

enum class EventKind { kOther, kSessionStart, kRunStart, kClose, kComplete, kToolUse };

// Whether text[0, N - 1) holds the literal's bytes. Compared eight bytes at a
// time where the literal allows: the size is known here, so each piece is a
// load, where memcmp would be a call.
template <size_t N>
bool same_bytes(const char *text, const char (&literal)[N]) {
  size_t i = 0;
  for (; i + 8 <= N - 1; i += 8) {
    uint64_t a = 0;
    uint64_t b = 0;
    std::memcpy(&a, text + i, 8);
    std::memcpy(&b, literal + i, 8);
    if (a != b) return false;
  }
  for (; i < N - 1; ++i) {
    if (text[i] != literal[i]) return false;
  }
  return true;
}

template <size_t N>
bool equals(const char *event, const char (&name)[N]) {
  return same_bytes(event, name);
}

// The kind of the event named event[0, length): the names differ in length
// but for two, so one comparison mostly decides.
EventKind classify(const char *event, size_t length) {
  switch (length) {
    case 8:
      return equals(event, "tool_use") ? EventKind::kToolUse : EventKind::kOther;
    case 10:
      return equals(event, "agent_idle") ? EventKind::kClose : EventKind::kOther;
    case 11:
      return equals(event, "session_end") ? EventKind::kClose : EventKind::kOther;
    case 12:
      return equals(event, "user_message") ? EventKind::kClose : EventKind::kOther;
    case 13:
      return equals(event, "session_start") ? EventKind::kSessionStart : EventKind::kOther;
    case 14:
      return equals(event, "agent_complete") ? EventKind::kComplete : EventKind::kOther;
    case 15:
      if (equals(event, "agent_run_start")) return EventKind::kRunStart;
      return equals(event, "session_compact") ? EventKind::kClose : EventKind::kOther;
    default:
      return EventKind::kOther;
  }
}

// Applies an accepted line of kind `kind` at time t. `tool_from` is where the
// search for "tool" may start (0, or later when the bytes before are known).
template <typename Observer>
void apply_event(const char *text, size_t length, int64_t t, const char *ts, EventKind kind,
                 size_t tool_from, ReplayState *state, SessionRecord *record,
                 const Observer &observer) {
  if (record->first_epoch == 0) record->first_epoch = t;
  record->last_epoch = t;
  int tool_call = 0;
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
      close_run(state, record, t, observer);
      record->is_active = 0;
      break;
    case EventKind::kClose:
      close_run(state, record, t, observer);
      break;
    case EventKind::kToolUse:
      tool_call = count_tool(text + tool_from, length - tool_from, record);
      break;
    case EventKind::kOther:
      break;
  }
  observer.line(t, tool_call);
}

// Index of the first double quote, backslash or NUL in text[from, limit), or
// limit: the bytes that end a plain value. Sixteen bytes are tested at once.
size_t find_value_stop(const char *text, size_t from, size_t limit) {
  size_t i = from;
  const ByteBlock quotes = splat_block('"');
  const ByteBlock backslashes = splat_block('\\');
  const ByteBlock nuls = splat_block('\0');
  for (; i + kByteBlockSize <= limit; i += kByteBlockSize) {
    const ByteBlock block = load_block(text + i);
    const auto stops = (block == quotes) | (block == backslashes) | (block == nuls);
    if (any_set(stops)) return i + first_set(stops);
  }
  while (i < limit && text[i] != '"' && text[i] != '\\' && text[i] != '\0') ++i;
  return i;
}

// The end of the string value that begins at text[from] when it is plain:
// closed by a double quote within the piece, with no backslash or NUL, and at
// most `capacity` - 1 bytes long. Answers the index of the closing quote, or 0
// when the value is not plain and the general lookup must read it.
size_t plain_value_end(const char *text, size_t length, size_t from, size_t capacity) {
  const size_t limit = from + capacity - 1 < length ? from + capacity - 1 : length;
  const size_t stop = find_value_stop(text, from, limit);
  return stop == limit || text[stop] != '"' ? 0 : stop;
}

// Copies a plain value (see plain_value_end) into `out`; answers the index of
// its closing quote, or 0 when it is not plain.
size_t copy_plain_value(const char *text, size_t length, size_t from, char *out, size_t capacity) {
  const size_t stop = plain_value_end(text, length, from, capacity);
  if (stop == 0) return 0;
  std::memcpy(out, text + from, stop - from);
  out[stop - from] = '\0';
  return stop;
}

// Whether text[at, length) begins with the literal; its size is known here,
// so the comparison is a few loads rather than a call.
template <size_t N>
bool starts_with(const char *text, size_t length, size_t at, const char (&prefix)[N]) {
  return at + (N - 1) <= length && same_bytes(text + at, prefix);
}

// Where a value that begins at text[from] with one of the event names and its
// closing quote ends, with its kind; 0 when it holds none. Such a value is
// plain, so this is what plain_value_end and classify would find, without a
// scan for the value's end.
size_t known_event_end(const char *text, size_t length, size_t from, EventKind *kind) {
  struct Known {
    size_t size;  // the name and its closing quote
    EventKind kind;
  };
  Known known{0, EventKind::kOther};
  if (from >= length) return 0;
  switch (text[from]) {
    case 't':
      if (starts_with(text, length, from, "tool_use\"")) known = {9, EventKind::kToolUse};
      break;
    case 'a':
      if (starts_with(text, length, from, "agent_run_start\"")) {
        known = {16, EventKind::kRunStart};
      } else if (starts_with(text, length, from, "agent_idle\"")) {
        known = {11, EventKind::kClose};
      } else if (starts_with(text, length, from, "agent_complete\"")) {
        known = {15, EventKind::kComplete};
      }
      break;
    case 'u':
      if (starts_with(text, length, from, "user_message\"")) known = {13, EventKind::kClose};
      break;
    default:
      break;
  }
  if (known.size == 0) return 0;
  *kind = known.kind;
  return from + known.size - 1;
}

template <typename Observer>
void replay_line_plain_with(const char *text, size_t length, ReplayState *state,
                            SessionRecord *record, const Observer &observer) {
  char ts[40];
  if (json_get_str_n(text, length, "ts", ts, sizeof ts) == 0) return;
  const int64_t t = parse_event_time(ts);
  if (t <= 0) return;
  char event[48];
  json_get_str_n(text, length, "event", event, sizeof event);
  apply_event(text, length, t, ts, classify(event, std::strlen(event)), 0, state, record, observer);
}

// The agent writes lines as {"ts":"YYYY-MM-DD hh:mm:ss","event":"...",
// "tool":"...",...}. For lines of that shape the keys are read where they
// stand instead of being searched for, and nothing is copied but the time;
// every other line takes the general lookups. Both give the same values: where
// a plain "ts" value of at least 19 bytes closes, no occurrence of "event" or
// "tool" can have begun yet, so searching on from there finds the same first
// occurrence as searching from the start.
template <typename Observer>
void replay_line_with(const char *text, size_t length, ReplayState *state, SessionRecord *record,
                      const Observer &observer) {
  static constexpr char kTsPrefix[] = "{\"ts\":\"";
  static constexpr char kEventJoin[] = "\",\"event\":\"";
  static constexpr char kToolJoin[] = "\",\"tool\":\"";
  constexpr size_t kTsFrom = sizeof kTsPrefix - 1;

  char ts[40];
  size_t ts_end = 0;
  int64_t t = 0;
  if (starts_with(text, length, 0, kTsPrefix)) {
    if (kTsFrom + kEventTimeLength < length && text[kTsFrom + kEventTimeLength] == '"' &&
        has_fixed_event_time(text + kTsFrom)) {
      // The usual time, read where it stands.
      ts_end = kTsFrom + kEventTimeLength;
      std::memcpy(ts, text + kTsFrom, kEventTimeLength);
      ts[kEventTimeLength] = '\0';
      t = fixed_event_time(text + kTsFrom);
    } else {
      ts_end = copy_plain_value(text, length, kTsFrom, ts, sizeof ts);
      if (ts_end != 0) t = parse_event_time(ts);
    }
  }
  if (ts_end == 0) {
    replay_line_plain_with(text, length, state, record, observer);
    return;
  }
  if (t <= 0) return;

  EventKind kind = EventKind::kOther;
  size_t event_end = 0;
  if (starts_with(text, length, ts_end, kEventJoin)) {
    const size_t from = ts_end + sizeof kEventJoin - 1;
    event_end = known_event_end(text, length, from, &kind);
    if (event_end == 0) {
      event_end = plain_value_end(text, length, from, 48);
      if (event_end != 0) kind = classify(text + from, event_end - from);
    }
  }
  if (event_end == 0) {
    char event[48];
    json_get_str_n(text + ts_end, length - ts_end, "event", event, sizeof event);
    kind = classify(event, std::strlen(event));
  }

  size_t tool_from = ts_end;
  if (kind == EventKind::kToolUse && event_end != 0) {
    tool_from = event_end;
    if (starts_with(text, length, event_end, kToolJoin)) {
      const size_t from = event_end + sizeof kToolJoin - 1;
      const size_t tool_end = plain_value_end(text, length, from, 128);
      if (tool_end != 0) {
        if (record->first_epoch == 0) record->first_epoch = t;
        record->last_epoch = t;
        observer.line(t, add_tool_call(text + from, tool_end - from, record));
        return;
      }
    }
  }
  apply_event(text, length, t, ts, kind, tool_from, state, record, observer);
}

template <typename Observer>
void replay_finish_with(const ReplayState *state, SessionRecord *record, const Observer &observer) {
  if (state->in_run == 0) return;
  if (record->last_epoch > state->run_start) {
    record->active_sec = add_saturating(record->active_sec, record->last_epoch - state->run_start);
  }
  observer.run(state->run_start, record->last_epoch);
}

template <typename Observer>
void replay_events_with(FILE *file, SessionRecord *record, const Observer &observer) {
  alignas(4096) static char buffer[kReadBlock];
  LineReader reader{};
  line_reader_start(&reader, file, buffer, sizeof buffer);
  ReplayState state{};
  const char *text = nullptr;
  size_t length = 0;
  while (line_reader_next(&reader, &text, &length) != 0) {
    replay_line_with(text, length, &state, record, observer);
  }
  replay_finish_with(&state, record, observer);
}

}  // namespace

void replay_line(const char *text, size_t length, ReplayState *state, SessionRecord *record) {
  replay_line_with(text, length, state, record, Unobserved{});
}

void replay_line_plain(const char *text, size_t length, ReplayState *state, SessionRecord *record) {
  replay_line_plain_with(text, length, state, record, Unobserved{});
}

void replay_finish(const ReplayState *state, SessionRecord *record) {
  replay_finish_with(state, record, Unobserved{});
}

void replay_events(FILE *file, SessionRecord *record) {
  replay_events_with(file, record, Unobserved{});
}

void replay_events_observed(FILE *file, SessionRecord *record, const ReplayObserver &observer) {
  replay_events_with(file, record, Observed{&observer});
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
