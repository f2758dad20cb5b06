// Replay of a whole event log read from a stream, then the totals. The record
// must keep its invariants whatever the log holds.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "session/replay.h"
#include "session/replay_plain.h"

namespace {

void check_record(const SessionRecord &r) {
  FUZZ_CHECK(r.total_sec >= 0);
  FUZZ_CHECK(r.active_sec >= 0 && r.active_sec <= r.total_sec);
  FUZZ_CHECK(r.idle_sec == r.total_sec - r.active_sec);
  FUZZ_CHECK(r.duty_cycle_pct >= 0.0 && r.duty_cycle_pct <= 100.0);
  FUZZ_CHECK(r.turns >= 0);
  FUZZ_CHECK(r.first_epoch >= 0 && r.last_epoch >= 0);
  FUZZ_CHECK(r.tool_count >= 0 && r.tool_count <= kMaxTools);
  for (int i = 0; i < r.tool_count; ++i) {
    FUZZ_CHECK(strnlen(r.tool_names[i], sizeof r.tool_names[i]) < sizeof r.tool_names[i]);
    FUZZ_CHECK(r.tool_names[i][0] != '\0');
    FUZZ_CHECK(r.tool_calls[i] >= 1);
    for (int j = 0; j < i; ++j) FUZZ_CHECK(std::strcmp(r.tool_names[i], r.tool_names[j]) != 0);
  }
  FUZZ_CHECK(std::memchr(r.start_time, '\0', sizeof r.start_time) != nullptr);
  FUZZ_CHECK(std::memchr(r.model, '\0', sizeof r.model) != nullptr);
  FUZZ_CHECK(std::memchr(r.provider, '\0', sizeof r.provider) != nullptr);
  FUZZ_CHECK(std::memchr(r.profile, '\0', sizeof r.profile) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The whole log as a file.
  // Cleared byte for byte, padding included, as the two records are compared whole.
  static SessionRecord streamed;
  std::memset(&streamed, 0, sizeof streamed);
  // A stream over a copy in memory: a temporary file on disk per input cost
  // more than the replay itself. An empty log still needs a real file.
  std::vector<char> bytes(data, data + size);
  FILE *file = size > 0 ? fmemopen(bytes.data(), size, "r") : std::tmpfile();
  FUZZ_CHECK(file != nullptr);
  replay_events(file, &streamed);
  std::fclose(file);
  compute_totals(&streamed);
  check_record(streamed);

  // The same log fed line piece by line piece from exact-size copies, so that a
  // read past a piece's end is seen; it must give the same record.
  // Alongside, every piece also goes through the general lookups alone: the
  // reading of the agent's usual layout must never disagree with them.
  static SessionRecord direct;
  static SessionRecord plain;
  std::memset(&direct, 0, sizeof direct);
  std::memset(&plain, 0, sizeof plain);
  ReplayState state{};
  ReplayState plain_state{};
  size_t begin = 0;
  while (begin < size) {
    size_t piece = 0;
    while (piece < kLinePieceMax && begin + piece < size) {
      ++piece;
      if (data[begin + piece - 1] == '\n') break;
    }
    std::vector<char> exact(data + begin, data + begin + piece);
    replay_line(exact.data(), exact.size(), &state, &direct);
    replay_line_plain(exact.data(), exact.size(), &plain_state, &plain);
    FUZZ_CHECK(std::memcmp(&direct, &plain, sizeof direct) == 0);
    FUZZ_CHECK(state.in_run == plain_state.in_run && state.run_start == plain_state.run_start);
    begin += piece;
  }
  replay_finish(&state, &direct);
  compute_totals(&direct);
  check_record(direct);
  FUZZ_CHECK(std::memcmp(&direct, &streamed, sizeof direct) == 0);

  // A start_epoch from meta.json can be anything, before or after the events.
  if (size >= 8) {
    static SessionRecord shifted;
    std::memcpy(&shifted, &streamed, sizeof shifted);
    int64_t start = 0;
    std::memcpy(&start, data, sizeof start);
    shifted.start_epoch = start;
    compute_totals(&shifted);
    check_record(shifted);
  }
  return 0;
}
