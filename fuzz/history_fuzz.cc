// The history's split of one session over a calendar. Whatever the log, the
// zone, the period and the window: every bucket's figures are sound, nothing
// adds up to more than the session's own figures, and without a window they
// add up to exactly those.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "fuzz_check.h"
#include "history_tables/attribution.h"
#include "history_tables/calendar.h"
#include "history_tables/history_table.h"
#include "session/replay.h"

namespace {

constexpr int64_t kBase = 1704067200;  // 2024-01-01, the dictionary's time
constexpr int64_t kTimeMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kTimeMax = std::numeric_limits<int64_t>::max();

HistoryTable g_table;
Figures g_sum;

int64_t row_through(void * /*context*/, int64_t number) {
  return g_table.by_time ? same_row_through(&g_table, number) : number;
}

void add_row(void * /*context*/, int64_t number, const Figures &figures) {
  FUZZ_CHECK(figures.active_sec >= 0 && figures.wall_sec >= 0 && figures.turns >= 0 &&
             figures.tool_calls >= 0);
  HistoryRow *row = g_table.by_time ? row_for_number(&g_table, number) : row_for_key(&g_table, "k");
  add_to_row(row, figures, 1);
  add_figures(&g_sum, figures);
}

void replay(const std::vector<char> &log, const ReplayObserver &observer, SessionRecord *record) {
  std::memset(record, 0, sizeof *record);
  std::vector<char> bytes = log;
  FILE *file = bytes.empty() ? std::tmpfile() : fmemopen(bytes.data(), bytes.size(), "r");
  FUZZ_CHECK(file != nullptr);
  replay_events_observed(file, record, observer);
  std::fclose(file);
  compute_totals(record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool zone_set = [] {
    setenv("TZ", "America/New_York", 1);
    return true;
  }();
  static_cast<void>(zone_set);
  if (size < 4) return 0;
  const Zone zones[] = {{ZoneKind::kUtc, 0},
                        {ZoneKind::kFixed, 19800},
                        {ZoneKind::kFixed, -28800},
                        {ZoneKind::kLocal, 0}};
  const Zone zone = zones[data[0] & 3];
  // Day, week, month, hour, or all of time in one bucket.
  const auto period = static_cast<Period>((data[0] >> 2) % 5);
  Window window = {kTimeMin, kTimeMax};
  if ((data[1] & 1) != 0) window.begin = kBase + static_cast<int8_t>(data[2]) * 6 * 3600;
  if ((data[1] & 2) != 0) window.end = kBase + static_cast<int8_t>(data[3]) * 6 * 3600;
  const std::vector<char> log(data + 4, data + size);

  static Calendar calendar;
  static Attribution attribution;
  static SessionRecord record;
  calendar_init(&calendar, zone, period);
  history_table_init(&g_table, period != Period::kWhole);
  g_sum = {};
  attribution_init(&attribution, &calendar, window, {nullptr, row_through, add_row});
  const ReplayObserver observer = attribution_observer(&attribution);
  replay(log, observer, &record);
  if (attribution_needs_second_reading(&attribution)) {
    attribution_begin(&attribution, true);
    replay(log, observer, &record);
  }
  const bool counted = attribution_finish(&attribution, record, period == Period::kWhole);

  int64_t tool_calls = 0;
  for (int i = 0; i < record.tool_count; ++i) tool_calls += record.tool_calls[i];
  FUZZ_CHECK(g_sum.wall_sec <= record.total_sec);
  FUZZ_CHECK(g_sum.active_sec <= record.active_sec);
  FUZZ_CHECK(g_sum.turns <= record.turns);
  FUZZ_CHECK(g_sum.tool_calls <= tool_calls);
  for (int32_t i = 0; i < g_table.count; ++i) {
    const Figures &row = g_table.rows[i].figures;
    FUZZ_CHECK(row.active_sec <= row.wall_sec);
    FUZZ_CHECK(row.sessions == 1);
  }
  FUZZ_CHECK(g_table.other.figures.active_sec <= g_table.other.figures.wall_sec);
  if (window.begin == kTimeMin && window.end == kTimeMax && record.first_epoch != 0) {
    FUZZ_CHECK(counted);
    FUZZ_CHECK(g_sum.wall_sec == record.total_sec);
    FUZZ_CHECK(g_sum.active_sec == record.active_sec);
    FUZZ_CHECK(g_sum.turns == record.turns);
    FUZZ_CHECK(g_sum.tool_calls == tool_calls);
  }
  return 0;
}
