// The summary reply of the built program on fixture roots, natively and under
// Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "fixed_replies.h"
#include "program_runner.h"
#include "test_support.h"

namespace {

// The body of the summary of `root`.
std::string summary_of(const std::string &root) {
  const std::string reply =
      run_json_request({"QV_SESSIONS_DIR=" + root, "QUERY_STRING=action=summary"}, root);
  return reply.size() >= kJsonHeader.size() ? reply.substr(kJsonHeader.size()) : "";
}

std::string empty_summary(const std::string &root, bool found) {
  return R"({"ok":true,"plugin":"rudeze_duziruzuderi","version":"1.0.1","sessions_root":")" + root +
         "\",\"root_found\":" + (found ? "true" : "false") +
         R"(,"count":0,"active_now":0,"total_sec":0,"total_fmt":"0s","active_sec":0,)"
         R"("active_fmt":"0s","idle_sec":0,"idle_fmt":"0s","duty_cycle_pct":0.00,"turns":0,)"
         R"("tool_events":0,"profiles":[],"models":[],"sessions":[]})"
         "\n";
}

struct Listed {
  std::string dir;
  int64_t last_epoch;
  int64_t total_sec;
  int64_t active_sec;
  int turns;
};

// The sessions of a summary body in reply order, read from the fixed layout of
// the session objects.
std::vector<Listed> listed_sessions(const std::string &body) {
  static const std::regex kObject(
      R"re("dir":"([^"]*)".*?"last_epoch":(-?\d+).*?"total_sec":(-?\d+).*?"active_sec":(-?\d+).*?"turns":(\d+))re");
  std::vector<Listed> sessions;
  const std::string list = body.substr(body.find(",\"sessions\":["));
  for (auto it = std::sregex_iterator(list.begin(), list.end(), kObject);
       it != std::sregex_iterator(); ++it) {
    sessions.push_back({(*it)[1], std::stoll((*it)[2]), std::stoll((*it)[3]), std::stoll((*it)[4]),
                        std::stoi((*it)[5])});
  }
  return sessions;
}

int64_t member(const std::string &body, const std::string &name) {
  const size_t at = body.find("\"" + name + "\":");
  EXPECT_NE(at, std::string::npos) << name;
  return std::stoll(body.substr(at + name.size() + 3));
}

TEST(BlackboxSummary, EmptyMissingAndFileRoots) {
  TempDir base;
  make_dirs(base.at("empty"));
  EXPECT_EQ(summary_of(base.at("empty")), empty_summary(base.at("empty"), true));
  EXPECT_EQ(summary_of(base.at("missing")), empty_summary(base.at("missing"), false));
  write_file(base.at("file"), "not a folder");
  EXPECT_EQ(summary_of(base.at("file")), empty_summary(base.at("file"), false));
  // Files and dot-directories are never sessions.
  make_dirs(base.at("dots/.hidden"));
  write_file(base.at("dots/.hidden/events.jsonl"), event_line(ts_at(0), "agent_run_start"));
  write_file(base.at("dots/loose.json"), "{}");
  EXPECT_EQ(summary_of(base.at("dots")), empty_summary(base.at("dots"), true));
}

TEST(BlackboxSummary, OrderTotalsAndBuckets) {
  TempDir root;
  // Two sessions end at the same moment: byte order of the names decides.
  for (const char *name : {"beta", "Alpha", "alpha"}) {
    write_file(root.at(std::string(name) + "/events.jsonl"),
               event_line(ts_at(0), "agent_run_start") + event_line(ts_at(100), "agent_idle"));
  }
  write_file(root.at("newest/meta.json"), R"({"profile":"coder","model":"m-1"})");
  write_file(root.at("newest/events.jsonl"),
             event_line(ts_at(50), "agent_run_start") +
                 event_line(ts_at(60), "tool_use", R"(,"tool":"Bash")") +
                 event_line(ts_at(70), "tool_use", R"(,"tool":"Bash")") +
                 event_line(ts_at(350), "agent_complete"));
  write_file(root.at("live/thinking"), "");
  make_dirs(root.at("undated"));
  const std::string body = summary_of(root.path());
  const std::vector<Listed> sessions = listed_sessions(body);
  ASSERT_EQ(sessions.size(), 6U);
  const char *order[] = {"newest", "Alpha", "alpha", "beta", "live", "undated"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(sessions[i].dir, order[i]) << i;
  EXPECT_EQ(sessions.back().last_epoch, 0);
  EXPECT_EQ(member(body, "count"), 6);
  EXPECT_EQ(member(body, "active_now"), 1);
  EXPECT_EQ(member(body, "total_sec"), 600);
  EXPECT_EQ(member(body, "active_sec"), 600);
  EXPECT_EQ(member(body, "tool_events"), 2);
  EXPECT_NE(body.find(R"("profiles":[{"profile":"coder","sessions":1,"active_sec":300,"turns":1},)"
                      R"({"profile":"unknown","sessions":5,"active_sec":300,"turns":3}])"),
            std::string::npos);
}

TEST(BlackboxSummary, At300SessionsCountIs256AndTotalsAddUp) {
  TempDir root;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "s" + std::to_string(1000 + i);
    write_file(root.at(name + "/events.jsonl"),
               event_line(ts_at(i * 7), "agent_run_start") +
                   event_line(ts_at(i * 7 + 5 + i % 13), "agent_idle") +
                   event_line(ts_at(i * 7 + 40), "session_end"));
  }
  const std::string body = summary_of(root.path());
  const std::vector<Listed> sessions = listed_sessions(body);
  ASSERT_EQ(sessions.size(), 256U);
  EXPECT_EQ(member(body, "count"), 256);
  int64_t total = 0;
  int64_t active = 0;
  int64_t turns = 0;
  for (size_t i = 0; i < sessions.size(); ++i) {
    total += sessions[i].total_sec;
    active += sessions[i].active_sec;
    turns += sessions[i].turns;
    if (i > 0) {
      const Listed &prev = sessions[i - 1];
      EXPECT_TRUE(prev.last_epoch > sessions[i].last_epoch ||
                  (prev.last_epoch == sessions[i].last_epoch && prev.dir < sessions[i].dir));
    }
  }
  EXPECT_EQ(member(body, "total_sec"), total);
  EXPECT_EQ(member(body, "active_sec"), active);
  EXPECT_EQ(member(body, "turns"), turns);
  EXPECT_EQ(member(body, "idle_sec"), total - active);
}

TEST(BlackboxSummary, SessionIdDifferingFromItsFolder) {
  TempDir root;
  write_file(root.at("folder/meta.json"), R"({"id":"the-id"})");
  write_file(root.at("folder/events.jsonl"), event_line(ts_at(0), "agent_run_start"));
  const std::string found = run_json_request(
      {"QV_SESSIONS_DIR=" + root.path(), "QUERY_STRING=action=session&sid=the-id"});
  EXPECT_NE(found.find(R"("session":{"id":"the-id","dir":"folder")"), std::string::npos);
  // The table lookup compares with case; the direct load then finds nothing.
  EXPECT_EQ(run_json_request(
                {"QV_SESSIONS_DIR=" + root.path(), "QUERY_STRING=action=session&sid=THE-ID"}),
            not_found_reply("THE-ID", root.path()));
}

}  // namespace
