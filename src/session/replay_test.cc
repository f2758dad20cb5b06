#include "session/replay.h"
#include "session/replay_plain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"

namespace {

constexpr int64_t kT = 1704067200;  // 2024-01-01 00:00:00

// Replays `log` into a fresh record (with `prepare` applied first) and runs the
// totals step, as loading does.
SessionRecord replay_text(const std::string &log, void (*prepare)(SessionRecord *) = nullptr) {
  SessionRecord record{};
  if (prepare != nullptr) prepare(&record);
  FILE *file = std::tmpfile();
  std::fwrite(log.data(), 1, log.size(), file);
  std::rewind(file);
  replay_events(file, &record);
  std::fclose(file);
  compute_totals(&record);
  return record;
}

std::string at(long long offset, const std::string &event, const std::string &extra = "") {
  return event_line(ts_at(offset), event, extra);
}

TEST(Replay, WorkedExample) {
  const std::string log =
      at(0, "session_start", R"(,"model":"m1","provider":"p1","profile":"coder")") +
      at(10, "agent_run_start") + at(40, "tool_use", R"(,"tool":"A")") +
      at(70, "tool_use", R"(,"tool":"A")") + at(80, "tool_use", R"(,"tool":"B")") +
      at(100, "agent_idle") + at(200, "user_message") + at(210, "agent_run_start") +
      at(300, "agent_complete");
  const SessionRecord r = replay_text(log, [](SessionRecord *s) { s->is_active = 1; });
  EXPECT_EQ(r.first_epoch, kT);
  EXPECT_EQ(r.last_epoch, kT + 300);
  EXPECT_EQ(r.start_epoch, kT);
  EXPECT_EQ(r.turns, 2);
  EXPECT_EQ(r.active_sec, 180);
  EXPECT_EQ(r.total_sec, 300);
  EXPECT_EQ(r.idle_sec, 120);
  EXPECT_DOUBLE_EQ(r.duty_cycle_pct, 60.0);
  ASSERT_EQ(r.tool_count, 2);
  EXPECT_STREQ(r.tool_names[0], "A");
  EXPECT_EQ(r.tool_calls[0], 2);
  EXPECT_STREQ(r.tool_names[1], "B");
  EXPECT_EQ(r.tool_calls[1], 1);
  EXPECT_EQ(r.is_active, 0);
  EXPECT_STREQ(r.start_time, "2024-01-01 00:00:00");
  EXPECT_STREQ(r.model, "m1");
  EXPECT_STREQ(r.provider, "p1");
  EXPECT_STREQ(r.profile, "coder");
}

TEST(Replay, RunStates) {
  // A lone run start: one turn, no span.
  SessionRecord r = replay_text(at(0, "agent_run_start"));
  EXPECT_EQ(r.turns, 1);
  EXPECT_EQ(r.first_epoch, kT);
  EXPECT_EQ(r.start_epoch, kT);
  EXPECT_EQ(r.total_sec, 0);
  EXPECT_EQ(r.active_sec, 0);
  // A run left open ends at the last accepted line.
  r = replay_text(at(0, "agent_run_start") + at(50, "tool_use", R"(,"tool":"x")"));
  EXPECT_EQ(r.active_sec, 50);
  EXPECT_EQ(r.total_sec, 50);
  EXPECT_DOUBLE_EQ(r.duty_cycle_pct, 100.0);
  // Even a run left open one second before the last line counts that second.
  r = replay_text(at(0, "session_start") + at(9, "agent_run_start") + at(10, "other"));
  EXPECT_EQ(r.active_sec, 1);
  EXPECT_EQ(r.total_sec, 10);
  // A second start inside a run neither counts a turn nor moves the start.
  r = replay_text(at(0, "agent_run_start") + at(20, "agent_run_start") + at(30, "agent_idle"));
  EXPECT_EQ(r.turns, 1);
  EXPECT_EQ(r.active_sec, 30);
  // Every closing kind ends a run; a close without a run changes nothing.
  for (const char *closing :
       {"agent_idle", "agent_complete", "session_end", "session_compact", "user_message"}) {
    r = replay_text(at(0, "agent_idle") + at(5, "agent_run_start") + at(25, closing) +
                    at(40, closing) + at(60, "other"));
    EXPECT_EQ(r.active_sec, 20) << closing;
    EXPECT_EQ(r.total_sec, 60) << closing;
  }
  // A close that is not after the start adds nothing.
  r = replay_text(at(10, "agent_run_start") + at(5, "agent_idle"));
  EXPECT_EQ(r.first_epoch, kT + 10);
  EXPECT_EQ(r.last_epoch, kT + 5);
  EXPECT_EQ(r.total_sec, 0);
  EXPECT_EQ(r.active_sec, 0);
  // Kinds compare with case.
  r = replay_text(at(0, "Agent_Run_Start") + at(10, "agent_idle"));
  EXPECT_EQ(r.turns, 0);
  EXPECT_EQ(r.total_sec, 10);
}

TEST(Replay, OutOfOrderLinesAndStartEpoch) {
  SessionRecord r =
      replay_text(at(0, "agent_run_start") + at(500, "agent_idle") + at(300, "user_message"));
  EXPECT_EQ(r.last_epoch, kT + 300);
  EXPECT_EQ(r.total_sec, 300);
  EXPECT_EQ(r.active_sec, 300);
  EXPECT_EQ(r.idle_sec, 0);
  EXPECT_DOUBLE_EQ(r.duty_cycle_pct, 100.0);

  const std::string log = at(0, "session_start") + at(300, "session_end");
  r = replay_text(log, [](SessionRecord *s) { s->start_epoch = kT - 100; });
  EXPECT_EQ(r.total_sec, 400);
  r = replay_text(log, [](SessionRecord *s) { s->start_epoch = kT + 100; });
  EXPECT_EQ(r.total_sec, 300);
  // The span from the first line wins as soon as it is longer, by one second too.
  r = replay_text(log, [](SessionRecord *s) { s->start_epoch = kT + 1; });
  EXPECT_EQ(r.total_sec, 300);
  EXPECT_EQ(r.idle_sec, 300);
  r = replay_text(log, [](SessionRecord *s) { s->start_epoch = kT + 1000; });
  EXPECT_EQ(r.total_sec, 300);
  r = replay_text(log, [](SessionRecord *s) { s->start_epoch = -5; });
  EXPECT_EQ(r.total_sec, 300);
  // Without accepted lines nothing is timed, even with a start from meta.json.
  r = replay_text("", [](SessionRecord *s) { s->start_epoch = kT; });
  EXPECT_EQ(r.total_sec, 0);
  EXPECT_EQ(r.first_epoch, 0);
  EXPECT_EQ(r.start_epoch, kT);
}

TEST(Replay, SkipsLinesWithoutAUsableTime) {
  const std::string log = R"({"event":"agent_run_start"})"
                          "\n" +
                          event_line("2024-01-01T00:00:00Z", "agent_run_start") +
                          event_line("1970-01-01 00:00:00", "agent_run_start") +
                          event_line("2024-1-1 0:0:0", "agent_run_start") +
                          R"({"ts":17040672,"event":"agent_run_start"})"
                          "\n" +
                          at(5, "tool_use") + at(6, "tool_use", R"(,"tool":"")");
  const SessionRecord r = replay_text(log);
  EXPECT_EQ(r.turns, 0);
  EXPECT_EQ(r.first_epoch, kT + 5);
  EXPECT_EQ(r.last_epoch, kT + 6);
  EXPECT_EQ(r.tool_count, 0);
}

TEST(Replay, ToolSlotsAreLimitedAndCaseSensitive) {
  std::string log;
  for (int i = 0; i < 50; ++i) log += at(i, "tool_use", ",\"tool\":\"t" + std::to_string(i) + "\"");
  log += at(60, "tool_use", R"(,"tool":"t0")") + at(61, "tool_use", R"(,"tool":"t49")");
  log += at(62, "tool_use", R"(,"tool":"T0")");
  const SessionRecord r = replay_text(log);
  EXPECT_EQ(r.tool_count, 48);
  EXPECT_EQ(r.tool_calls[0], 2);
  EXPECT_STREQ(r.tool_names[47], "t47");
  for (int i = 0; i < 48; ++i) EXPECT_STRNE(r.tool_names[i], "T0");

  const SessionRecord c =
      replay_text(at(0, "tool_use", R"(,"tool":"Read")") + at(1, "tool_use", R"(,"tool":"read")"));
  EXPECT_EQ(c.tool_count, 2);
}

TEST(Replay, LongLinesAreExaminedInPiecesOf4095Bytes) {
  // The event key lies beyond the first piece: the line counts for the times
  // only, and its rest has no time of its own.
  const std::string padding(5000, 'p');
  std::string log = "{\"ts\":\"" + ts_at(0) + "\",\"pad\":\"" + padding +
                    "\",\"event\":\"agent_run_start\"}\n" + at(10, "agent_idle");
  SessionRecord r = replay_text(log);
  EXPECT_EQ(r.turns, 0);
  EXPECT_EQ(r.first_epoch, kT);
  EXPECT_EQ(r.total_sec, 10);

  // A second piece that begins with its own event line is examined on its own.
  const std::string first = "{\"ts\":\"" + ts_at(0) + "\",\"pad\":\"";
  const std::string fill(kLinePieceMax - first.size(), 'x');
  log = first + fill + at(20, "agent_run_start") + at(30, "agent_idle");
  r = replay_text(log);
  EXPECT_EQ(r.turns, 1);
  EXPECT_EQ(r.active_sec, 10);
  EXPECT_EQ(r.first_epoch, kT);

  // A piece of exactly 4095 bytes before a line feed leaves the feed alone.
  const std::string line = at(40, "agent_run_start");
  log = line.substr(0, line.size() - 1) + std::string(kLinePieceMax - line.size() + 1, ' ') + "\n" +
        at(50, "agent_idle");
  r = replay_text(log);
  EXPECT_EQ(r.active_sec, 10);

  // Many long lines across the reader's block boundaries, a last line without
  // a line feed, and carriage returns.
  log.clear();
  for (int i = 0; i < 200; ++i) {
    log += "{\"ts\":\"" + ts_at(i * 10) + "\",\"event\":\"" +
           (i % 2 == 0 ? "agent_run_start" : "agent_idle") + "\",\"x\":\"" +
           std::string(static_cast<size_t>(1000 + i * 37), 'z') + "\"}\r\n";
  }
  log += "{\"ts\":\"" + ts_at(5000) + "\",\"event\":\"session_end\"}";
  r = replay_text(log);
  EXPECT_EQ(r.turns, 100);
  EXPECT_EQ(r.active_sec, 1000);
  EXPECT_EQ(r.last_epoch, kT + 5000);
}

TEST(Replay, SessionStartFillsOnlyEmptyFields) {
  const std::string log = at(0, "session_start", R"(,"model":"late","provider":"p","profile":"")") +
                          at(5, "session_start", R"(,"model":"later","profile":"second")");
  const SessionRecord r = replay_text(log, [](SessionRecord *s) {
    std::strcpy(s->model, "meta-model");
    std::strcpy(s->start_time, "meta-start");
  });
  EXPECT_STREQ(r.model, "meta-model");
  EXPECT_STREQ(r.provider, "p");
  EXPECT_STREQ(r.profile, "second");
  EXPECT_STREQ(r.start_time, "meta-start");
}

TEST(Replay, LiveFlagIsClearedForGoodByComplete) {
  SessionRecord r = replay_text(at(0, "agent_complete") + at(10, "agent_run_start"),
                                [](SessionRecord *s) { s->is_active = 1; });
  EXPECT_EQ(r.is_active, 0);
  r = replay_text(at(0, "agent_run_start"), [](SessionRecord *s) { s->is_active = 1; });
  EXPECT_EQ(r.is_active, 1);
}

TEST(Replay, HugeYearsSaturateInsteadOfOverflowing) {
  std::string log;
  for (int i = 0; i < 300; ++i) {
    log += event_line("1971-01-01 00:00:00", "agent_run_start") +
           event_line("2147483647-12-31 00:00:00", "agent_idle");
  }
  const SessionRecord r = replay_text(log);
  EXPECT_EQ(r.turns, 300);
  EXPECT_GT(r.active_sec, 0);
  EXPECT_LE(r.active_sec, r.total_sec);

  // Active the whole time over some 6.8e16 s: the quotient of the two doubles
  // rounds above 100, the percentage must not.
  const SessionRecord whole = replay_text(event_line("1976-01-01 00:00:00", "agent_run_start") +
                                          event_line("2147483647-12-31 00:00:00", "agent_idle"));
  EXPECT_EQ(whole.active_sec, whole.total_sec);
  EXPECT_GT(whole.total_sec, int64_t{1} << 53);
  EXPECT_EQ(whole.duty_cycle_pct, 100.0);
}

}  // namespace

namespace {

// Lines made of the pieces the fast reading relies on, shuffled and damaged,
// must give the same record as the general lookups.
TEST(Replay, FastReadingAgreesWithTheGeneralLookups) {
  const char *const pieces[] = {"{\"ts\":\"",
                                "\",\"event\":\"",
                                "\",\"tool\":\"",
                                "2024-01-01 00:00:",
                                "2024-01-01 00:01:",
                                "05",
                                "59",
                                "\"",
                                "\\\"",
                                "\\",
                                "tool_use",
                                "agent_run_start",
                                "agent_idle",
                                "agent_complete",
                                "session_start",
                                "event",
                                "tool",
                                "ts",
                                ":",
                                " ",
                                ",",
                                "}",
                                "Bash",
                                "Read",
                                "abc",
                                "\"tool\":\"X\"",
                                "\"event\":\"tool_use\"",
                                "\"model\":\"m\"",
                                "x\n",
                                "\xC3\xA9",
                                "user_message",
                                "session_end",
                                "session_compact",
                                "2024-02-30 ",
                                "2023-12-31 23:59:",
                                "1969-12-31 23:59:",
                                "2024-13-01 ",
                                "tool_us"};
  TestRandom random(12345);
  auto next = [&random] { return random.next(); };
  for (int round = 0; round < 4000; ++round) {
    std::string line;
    if (next() % 4 != 0) {
      static const char *const kDays[] = {"2024-01-01", "2024-01-02", "2024-02-31", "1970-01-01"};
      line = std::string("{\"ts\":\"") + kDays[next() % 4] + " 00:0" + std::to_string(next() % 10) +
             ":" + std::to_string(10 + next() % 50) + "\",\"event\":\"" +
             (next() % 3 == 0 ? "tool_use" : (next() % 2 == 0 ? "agent_run_start" : "agent_idle")) +
             "\",\"tool\":\"T" + std::to_string(next() % 3) + "\"}";
    }
    const size_t extra = next() % 8;
    for (size_t i = 0; i < extra; ++i) {
      const std::string piece =
          (next() % 38 == 24) ? std::string(1, '\0') : std::string(pieces[next() % 38]);
      line.insert(line.empty() ? 0 : next() % (line.size() + 1), piece);
    }
    SessionRecord fast{};
    SessionRecord plain{};
    ReplayState fast_state{};
    ReplayState plain_state{};
    for (int repeat = 0; repeat < 2; ++repeat) {
      replay_line(line.data(), line.size(), &fast_state, &fast);
      replay_line_plain(line.data(), line.size(), &plain_state, &plain);
    }
    ASSERT_EQ(std::memcmp(&fast, &plain, sizeof fast), 0) << line;
    ASSERT_EQ(fast_state.in_run, plain_state.in_run) << line;
  }
}

// What an observer hears, gathered.
struct Heard {
  int64_t lines = 0;
  int64_t first = 0;
  int64_t last = 0;
  int64_t tool_calls = 0;
  int64_t runs = 0;
  int64_t run_time = 0;
};

void heard_line(void *context, int64_t t, int tool_call) {
  auto *heard = static_cast<Heard *>(context);
  if (heard->lines++ == 0) heard->first = t;
  heard->last = t;
  heard->tool_calls += tool_call;
}

void heard_run(void *context, int64_t start, int64_t end) {
  auto *heard = static_cast<Heard *>(context);
  ++heard->runs;
  if (end > start) heard->run_time += end - start;
}

SessionRecord replay_file(const std::string &log, const ReplayObserver *observer) {
  SessionRecord record{};
  FILE *file = std::tmpfile();
  std::fwrite(log.data(), 1, log.size(), file);
  std::rewind(file);
  if (observer != nullptr) {
    replay_events_observed(file, &record, *observer);
  } else {
    replay_events(file, &record);
  }
  std::fclose(file);
  return record;
}

// Whatever the log, the observer hears exactly what the record counts: one run
// per turn, the active time before the totals step, every counted tool call,
// and the first and last accepted lines; and observing changes nothing.
TEST(Replay, ObserverHearsWhatTheRecordCounts) {
  const char *const kEvents[] = {"agent_run_start", "agent_run_start", "tool_use",     "tool_use",
                                 "agent_idle",      "user_message",    "session_end",  "whatever",
                                 "agent_complete",  "session_compact", "session_start"};
  TestRandom random(99);
  auto next = [&random] { return random.next(); };
  for (int round = 0; round < 300; ++round) {
    std::string log;
    long long t = 0;
    const size_t lines = next() % 120;
    const bool in_order = round % 3 != 0;
    for (size_t i = 0; i < lines; ++i) {
      t += in_order ? static_cast<long long>(next() % 4000)
                    : static_cast<long long>(next() % 4000) - 1500;
      const char *event = kEvents[next() % 11];
      std::string extra;
      // Empty names count nowhere; 60 distinct names overflow the 48 slots.
      if (std::strcmp(event, "tool_use") == 0 && next() % 8 != 0) {
        extra = ",\"tool\":\"T" + std::to_string(next() % 60) + "\"";
      }
      if (next() % 10 == 0) extra += ",\"pad\":\"" + std::string(next() % 6000, 'x') + "\"";
      log +=
          next() % 15 == 0 ? "{\"event\":\"" + std::string(event) + "\"}\n" : at(t, event, extra);
    }
    Heard heard;
    const ReplayObserver observer = {&heard, heard_line, heard_run};
    const SessionRecord observed = replay_file(log, &observer);
    const SessionRecord plain = replay_file(log, nullptr);
    ASSERT_EQ(std::memcmp(&observed, &plain, sizeof plain), 0) << log;
    EXPECT_EQ(heard.runs, observed.turns) << log;
    EXPECT_EQ(heard.run_time, observed.active_sec) << log;
    int64_t tool_calls = 0;
    for (int i = 0; i < observed.tool_count; ++i) tool_calls += observed.tool_calls[i];
    EXPECT_EQ(heard.tool_calls, tool_calls) << log;
    EXPECT_EQ(heard.first, observed.first_epoch) << log;
    EXPECT_EQ(heard.last, observed.last_epoch) << log;
  }
}

}  // namespace
