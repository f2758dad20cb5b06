// Roots with more session folders than the table holds: the summary reports
// the most recently active sessions, natively and under Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "fixed_replies.h"
#include "program_runner.h"
#include "test_support.h"

namespace {

constexpr long long kHour = 3600;
constexpr long long kBase = 1704067200;  // 2024-01-01 00:00:00

// A session whose log was last written `hours` after the base time, with its
// last event at that moment too.
void write_session(const TempDir &root, const std::string &name, long long hours,
                   bool live = false) {
  const std::string log = root.at(name + "/events.jsonl");
  write_file(log, event_line(ts_at(hours * kHour - 60), "agent_run_start") +
                      event_line(ts_at(hours * kHour), "tool_use", R"(,"tool":"Read")"));
  if (live) write_file(root.at(name + "/thinking"), "");
  set_modified_time(log, kBase + hours * kHour);
}

std::vector<std::string> listed_dirs(const std::string &reply) {
  std::vector<std::string> dirs;
  const std::string key = "\"dir\":\"";
  for (size_t at = reply.find(key); at != std::string::npos; at = reply.find(key, at + 1)) {
    const size_t from = at + key.size();
    dirs.push_back(reply.substr(from, reply.find('"', from) - from));
  }
  return dirs;
}

std::string summary_of(const TempDir &root) {
  return run_json_request({"QV_SESSIONS_DIR=" + root.path(), "QUERY_STRING=action=summary"});
}

TEST(BlackboxActivity, TheMostRecentlyActiveSessionsOfAThousand) {
  TempDir root;
  std::set<std::string> newest;
  for (int i = 0; i < 1100; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "s%04d", i);
    write_session(root, name, i);
    if (i >= 1100 - 249) newest.insert(name);
  }
  // The six most recent have names that sort first, last and in between;
  // one of them is live.
  const std::vector<std::string> latest = {"0-first", "zz-last", "s0550-mid", "m-live", "A", "~"};
  for (size_t k = 0; k < latest.size(); ++k) {
    write_session(root, latest[k], 1100 + static_cast<long long>(k), latest[k] == "m-live");
    newest.insert(latest[k]);
  }
  // Without an event log the folder's own time counts.
  make_dirs(root.at("no-log"));
  write_file(root.at("no-log/meta.json"), R"({"model":"m"})");
  set_modified_time(root.at("no-log"), kBase + 1099 * kHour + 1800);
  newest.insert("no-log");
  ASSERT_EQ(newest.size(), 256U);

  const std::string reply = summary_of(root);
  const std::vector<std::string> dirs = listed_dirs(reply);
  EXPECT_EQ(std::set<std::string>(dirs.begin(), dirs.end()), newest);
  EXPECT_NE(reply.find("\"count\":256,\"active_now\":1,"), std::string::npos);
  // Newest first: the last of the six, then the one before.
  ASSERT_EQ(dirs.size(), 256U);
  EXPECT_EQ(dirs[0], "~");
  EXPECT_EQ(dirs[1], "A");
  EXPECT_EQ(dirs.back(), "no-log");  // no event, so no last event time

  // A session left out is still reached by its name.
  const std::string left_out =
      run_json_request({"QV_SESSIONS_DIR=" + root.path(), "QUERY_STRING=action=session&sid=s0000"});
  EXPECT_NE(left_out.find("{\"ok\":true,"), std::string::npos) << left_out.substr(0, 300);
}

TEST(BlackboxActivity, At257OnlyTheLeastRecentIsLeftOut) {
  TempDir root;
  for (int i = 0; i < 256; ++i) write_session(root, "s" + std::to_string(1000 + i), 10 + i);
  std::string reply = summary_of(root);
  EXPECT_NE(reply.find("\"count\":256,"), std::string::npos);
  EXPECT_EQ(listed_dirs(reply).size(), 256U);
  // With one more, the least recent goes, whatever its name.
  write_session(root, "s1100-oldest", 0);
  reply = summary_of(root);
  const std::vector<std::string> dirs = listed_dirs(reply);
  EXPECT_EQ(dirs.size(), 256U);
  EXPECT_EQ(std::set<std::string>(dirs.begin(), dirs.end()).count("s1100-oldest"), 0U);
  EXPECT_EQ(std::set<std::string>(dirs.begin(), dirs.end()).count("s1000"), 1U);
}

}  // namespace
