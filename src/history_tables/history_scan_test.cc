#include "history_tables/history_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

void collect(const char *name, void *context) {
  static_cast<std::vector<std::string> *>(context)->push_back(name);
}

// More sessions than one batch holds, with ties in time: every one is visited
// once, most recent first and by name among equals, across the batches.
TEST(HistoryScan, RecencyOrderAcrossBatches) {
  TempDir root;
  std::vector<std::pair<long long, std::string>> expected;
  TestRandom random(17);
  for (int i = 0; i < 8192 + 700; ++i) {
    const long long time = 1700000000 + static_cast<long long>(random.next() % 5000);
    const std::string name = "s" + std::to_string(random.next() % 100000) + "-" + std::to_string(i);
    make_dirs(root.at(name));
    if (i % 3 == 0) {
      write_file(root.at(name + "/events.jsonl"), "");
      set_modified_time(root.at(name + "/events.jsonl"), time);
    } else {
      set_modified_time(root.at(name), time);
    }
    if (time >= 1700001000) expected.emplace_back(-time, name);
  }
  make_dirs(root.at(".hidden"));
  write_file(root.at("a-file"), "");
  std::sort(expected.begin(), expected.end());

  std::vector<std::string> visited;
  int longest = 0;
  ASSERT_EQ(visit_sessions_by_recency(root.path().c_str(), 1700001000, collect, &visited, &longest),
            1);
  ASSERT_EQ(visited.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(visited[i], expected[i].second) << i;
  EXPECT_GE(longest, 7);
  EXPECT_EQ(count_sessions(root.path().c_str(), 1700001000), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(count_sessions(root.path().c_str(), INT64_MIN), 8192 + 700);

  std::vector<std::string> listed;
  ASSERT_EQ(visit_sessions(root.path().c_str(), INT64_MIN, collect, &listed), 1);
  EXPECT_EQ(listed.size(), 8192U + 700);
  EXPECT_EQ(visit_sessions((root.path() + "/none").c_str(), INT64_MIN, collect, &listed), 0);
}

}  // namespace
