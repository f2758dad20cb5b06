#include "history_tables/attribution.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "session/load_session.h"
#include "test_support.h"

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kMidnight = 1796083200;  // 2026-12-01 00:00:00 UTC
constexpr Window kAllTime = {INT64_MIN, INT64_MAX};

// Collects what a session adds, bucket by bucket, every bucket a row of its own.
struct Collected {
  std::map<int64_t, Figures> rows;
  Figures sum{};
};

int64_t own_row(void * /*context*/, int64_t number) {
  return number;
}

void collect(void *context, int64_t number, const Figures &figures) {
  auto *collected = static_cast<Collected *>(context);
  add_figures(&collected->rows[number], figures);
  add_figures(&collected->sum, figures);
}

std::string line(int64_t t, const std::string &event, const std::string &extra = "") {
  return event_line(ts_at(t - 1704067200), event, extra);
}

struct Split {
  bool counted;
  SessionRecord record;
  Collected collected;
  bool second_reading;
};

// Writes a session of these event lines (and meta.json, when given), loads it
// while attributing it, and collects the pieces.
Split split(const std::string &log, Zone zone, Period period, Window window = kAllTime,
            const std::string &meta = "", bool count_timeless = false) {
  TempDir root;
  write_file(root.at("s/events.jsonl"), log);
  write_file(root.at("s/stats.json"), R"({"input_tokens":7,"output_tokens":3})");
  if (!meta.empty()) write_file(root.at("s/meta.json"), meta);
  static Calendar calendar;
  static Attribution attribution;
  Split result{};
  calendar_init(&calendar, zone, period);
  attribution_init(&attribution, &calendar, window, {&result.collected, own_row, collect});
  const ReplayObserver observer = attribution_observer(&attribution);
  EXPECT_EQ(load_session_observed(root.path().c_str(), "s", &result.record, observer), 1);
  result.second_reading = attribution_needs_second_reading(&attribution);
  if (result.second_reading) {
    attribution_begin(&attribution, true);
    load_session_observed(root.path().c_str(), "s", &result.record, observer);
  }
  result.counted = attribution_finish(&attribution, result.record, count_timeless);
  return result;
}

int64_t tool_calls(const SessionRecord &record) {
  int64_t calls = 0;
  for (int i = 0; i < record.tool_count; ++i) calls += record.tool_calls[i];
  return calls;
}

// Split figures add up to the session reply's.
void expect_whole(const Split &s, const std::string &label) {
  EXPECT_EQ(s.collected.sum.wall_sec, s.record.total_sec) << label;
  EXPECT_EQ(s.collected.sum.active_sec, s.record.active_sec) << label;
  EXPECT_EQ(s.collected.sum.turns, s.record.turns) << label;
  EXPECT_EQ(s.collected.sum.tool_calls, tool_calls(s.record)) << label;
  EXPECT_EQ(s.collected.sum.input_tokens, 7) << label;
}

TEST(Attribution, MonthEndInANegativeOffset) {
  // 23:00 to 01:00 at -08:00 is 07:00 to 09:00 UTC of December 1st.
  const int64_t start = kMidnight + 7 * 3600;
  const std::string log = line(start, "agent_run_start") + line(start + 7200, "agent_complete");
  const Split s = split(log, {ZoneKind::kFixed, -28800}, Period::kMonth);
  ASSERT_EQ(s.collected.rows.size(), 2U);
  EXPECT_EQ(s.collected.rows.at(2026 * 12 + 10).active_sec, 3600);  // November
  EXPECT_EQ(s.collected.rows.at(2026 * 12 + 10).turns, 1);
  EXPECT_EQ(s.collected.rows.at(2026 * 12 + 11).active_sec, 3600);  // December
  expect_whole(s, "month end");
}

TEST(Attribution, MetaStartBeforeTheFirstLineCountsAsWall) {
  const std::string meta = R"({"start_epoch":)" + std::to_string(kMidnight - 3600) + "}";
  const std::string log =
      line(kMidnight + 100, "agent_run_start") + line(kMidnight + 200, "agent_idle");
  const Split s = split(log, {ZoneKind::kUtc, 0}, Period::kDay, kAllTime, meta);
  EXPECT_EQ(s.record.total_sec, 3800);
  EXPECT_EQ(s.collected.rows.at(kMidnight / kDay - 1).wall_sec, 3600);
  EXPECT_EQ(s.collected.rows.at(kMidnight / kDay).wall_sec, 200);
  expect_whole(s, "meta start");
}

TEST(Attribution, LogBackInTimeCountsWholeWhereItEnds) {
  const int64_t m = kMidnight;
  const std::string log = line(m - 500, "agent_run_start") + line(m + 500, "agent_idle") +
                          line(m + 900, "tool_use", R"(,"tool":"A")") +
                          line(m - 100, "user_message");
  const Split s = split(log, {ZoneKind::kUtc, 0}, Period::kDay);
  ASSERT_TRUE(s.counted);
  ASSERT_EQ(s.collected.rows.size(), 1U);
  const Figures &only = s.collected.rows.at(m / kDay - 1);  // the last line's day
  EXPECT_EQ(only.wall_sec, s.record.total_sec);
  EXPECT_EQ(only.active_sec, s.record.active_sec);
  EXPECT_EQ(only.turns, 1);
  EXPECT_EQ(only.tool_calls, 1);
  EXPECT_EQ(only.sessions, 1);
  // A run closed before it began goes back in time as well.
  const Split closed = split(line(m + 10, "agent_run_start") + line(m + 5, "agent_idle"),
                             {ZoneKind::kUtc, 0}, Period::kDay);
  ASSERT_EQ(closed.collected.rows.size(), 1U);
  EXPECT_EQ(closed.collected.rows.begin()->second.turns, 1);
}

TEST(Attribution, WindowKeepsOnlyWhatLiesInside) {
  const int64_t m = kMidnight;
  const std::string log = line(m - 3600, "agent_run_start") +
                          line(m - 60, "tool_use", R"(,"tool":"A")") +
                          line(m + 60, "tool_use", R"(,"tool":"B")") + line(m + 600, "agent_idle") +
                          line(m + 900, "user_message");
  const Split from_midnight = split(log, {ZoneKind::kUtc, 0}, Period::kDay, {m, INT64_MAX});
  ASSERT_TRUE(from_midnight.counted);
  ASSERT_EQ(from_midnight.collected.rows.size(), 1U);
  const Figures &inside = from_midnight.collected.rows.begin()->second;
  EXPECT_EQ(inside.wall_sec, 900);
  EXPECT_EQ(inside.active_sec, 600);
  EXPECT_EQ(inside.turns, 0);  // the run began before the window
  EXPECT_EQ(inside.tool_calls, 1);
  EXPECT_EQ(inside.input_tokens, 7);

  const Split before_midnight = split(log, {ZoneKind::kUtc, 0}, Period::kWhole, {INT64_MIN, m});
  const Figures &early = before_midnight.collected.sum;
  EXPECT_EQ(early.wall_sec, 3600);
  EXPECT_EQ(early.active_sec, 3600);
  EXPECT_EQ(early.turns, 1);
  EXPECT_EQ(early.tool_calls, 1);
  EXPECT_EQ(early.input_tokens, 0);  // the last line is after the window

  EXPECT_FALSE(split(log, {ZoneKind::kUtc, 0}, Period::kDay, {m + 901, INT64_MAX}).counted);
  EXPECT_FALSE(split(log, {ZoneKind::kUtc, 0}, Period::kDay, {INT64_MIN, m - 3600}).counted);
  // The last line alone, right where the window begins, still counts.
  const Split at_end = split(log, {ZoneKind::kUtc, 0}, Period::kDay, {m + 900, INT64_MAX});
  EXPECT_TRUE(at_end.counted);
  EXPECT_EQ(at_end.collected.sum.wall_sec, 0);
  EXPECT_EQ(at_end.collected.sum.input_tokens, 7);
}

TEST(Attribution, SessionWithoutTimeCountsOnlyWhereAsked) {
  const std::string log = R"({"event":"agent_run_start"})"
                          "\n";
  EXPECT_FALSE(split(log, {ZoneKind::kUtc, 0}, Period::kDay).counted);
  const Split kept = split(log, {ZoneKind::kUtc, 0}, Period::kWhole, kAllTime, "", true);
  ASSERT_TRUE(kept.counted);
  EXPECT_EQ(kept.collected.sum.sessions, 1);
  EXPECT_EQ(kept.collected.sum.wall_sec, 0);
  EXPECT_EQ(kept.collected.sum.input_tokens, 7);
}

TEST(Attribution, SessionOfMoreDaysThanPendingBucketsIsReadAgain) {
  std::string log;
  const int64_t first = kMidnight - 4200 * kDay;
  for (int day = 0; day < 4200; day += 3) {
    log += line(first + day * kDay + 3600, "agent_run_start") +
           line(first + day * kDay + 3700, "tool_use", R"(,"tool":"T")") +
           line(first + day * kDay + 7200, "agent_idle");
  }
  const Split s = split(log, {ZoneKind::kUtc, 0}, Period::kDay);
  EXPECT_TRUE(s.second_reading);
  ASSERT_TRUE(s.counted);
  EXPECT_EQ(s.collected.rows.at(first / kDay).turns, 1);
  EXPECT_EQ(s.collected.rows.at(first / kDay + 4197).active_sec, 3600);
  expect_whole(s, "long session");
}

}  // namespace
