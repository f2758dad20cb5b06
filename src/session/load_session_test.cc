#include "session/load_session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "test_support.h"

namespace {

TEST(LoadSession, MissingOrFileIsRefused) {
  TempDir root;
  SessionRecord r{};
  EXPECT_EQ(load_session(root.path().c_str(), "absent", &r), 0);
  EXPECT_STREQ(r.dir, "absent");
  EXPECT_STREQ(r.id, "absent");
  write_file(root.at("plain"), "x");
  EXPECT_EQ(load_session(root.path().c_str(), "plain", &r), 0);
}

TEST(LoadSession, EmptyDirectoryGivesAnEmptyRecord) {
  TempDir root;
  make_dirs(root.at("s1"));
  SessionRecord r;
  std::memset(&r, 0x5A, sizeof r);  // every field must be overwritten
  ASSERT_EQ(load_session(root.path().c_str(), "s1", &r), 1);
  SessionRecord expected{};
  std::strcpy(expected.dir, "s1");
  std::strcpy(expected.id, "s1");
  EXPECT_EQ(std::memcmp(&r, &expected, sizeof r), 0);
}

TEST(LoadSession, SourcesTakePrecedenceInOrder) {
  TempDir root;
  write_file(
      root.at("s/meta.json"),
      R"({"id":"sess-1","model":"","provider":"prov","cwd":"/meta","start_epoch":1704067100.9,)"
      R"("branch":"meta-branch","start_time":"meta time"})");
  write_file(
      root.at("s/stats.json"),
      R"({"model":"stats-model","cwd":"/stats","branch":"main","provider":"x","profile":"y",)"
      R"("input_tokens":1234.9,"output_tokens":-5,"cache_read_tokens":"7",)"
      R"("cache_creation_tokens":1e3})");
  write_file(root.at("s/events.jsonl"),
             event_line(ts_at(0), "session_start",
                        R"(,"model":"event-model","provider":"ev","profile":"ev-profile")") +
                 event_line(ts_at(50), "session_end"));
  SessionRecord r{};
  ASSERT_EQ(load_session(root.path().c_str(), "s", &r), 1);
  EXPECT_STREQ(r.id, "sess-1");
  EXPECT_STREQ(r.dir, "s");
  EXPECT_STREQ(r.model, "stats-model");
  EXPECT_STREQ(r.provider, "prov");
  EXPECT_STREQ(r.profile, "ev-profile");
  EXPECT_STREQ(r.cwd, "/meta");
  EXPECT_STREQ(r.branch, "main");
  EXPECT_STREQ(r.start_time, "meta time");
  EXPECT_EQ(r.tokens_in, 1234);
  EXPECT_EQ(r.tokens_out, -5);
  EXPECT_EQ(r.cache_read, 0);
  EXPECT_EQ(r.cache_write, 1000);
  EXPECT_EQ(r.start_epoch, 1704067100);
  EXPECT_EQ(r.total_sec, 150);
  EXPECT_EQ(r.is_active, 0);
}

TEST(LoadSession, MetaDetails) {
  TempDir root;
  // An empty id is kept; a numeric id is no id.
  write_file(root.at("a/meta.json"), R"({"id":"","start_epoch":0})");
  write_file(root.at("b/meta.json"), R"({"id":42})");
  // Only the first 16383 bytes of meta.json count.
  write_file(root.at("c/meta.json"),
             "{\"pad\":\"" + std::string(16400, ' ') + "\",\"cwd\":\"/late\"}");
  write_file(root.at("c/stats.json"), R"({"cwd":"/from-stats"})");
  write_file(root.at("d/meta.json"), std::string("{\"model\":\"m\"") + '\0' + ",\"cwd\":\"/x\"}");
  const std::string long_model(70, 'm');
  write_file(root.at("e/meta.json"), "{\"model\":\"" + long_model + "\"}");
  SessionRecord r{};
  ASSERT_EQ(load_session(root.path().c_str(), "a", &r), 1);
  EXPECT_STREQ(r.id, "");
  EXPECT_EQ(r.start_epoch, 0);
  ASSERT_EQ(load_session(root.path().c_str(), "b", &r), 1);
  EXPECT_STREQ(r.id, "b");
  ASSERT_EQ(load_session(root.path().c_str(), "c", &r), 1);
  EXPECT_STREQ(r.cwd, "/from-stats");
  ASSERT_EQ(load_session(root.path().c_str(), "d", &r), 1);
  EXPECT_STREQ(r.model, "m");
  EXPECT_STREQ(r.cwd, "");
  ASSERT_EQ(load_session(root.path().c_str(), "e", &r), 1);
  EXPECT_EQ(std::string(r.model), long_model.substr(0, 63));
}

TEST(LoadSession, ThinkingMarker) {
  TempDir root;
  write_file(root.at("live/thinking"), "");
  write_file(root.at("live/events.jsonl"), event_line(ts_at(0), "agent_run_start"));
  write_file(root.at("done/thinking"), "");
  write_file(root.at("done/events.jsonl"), event_line(ts_at(0), "agent_complete"));
  make_dirs(root.at("dirmarker/thinking"));
  write_file(root.at("nomarker/events.jsonl"), event_line(ts_at(0), "agent_run_start"));
  SessionRecord r{};
  load_session(root.path().c_str(), "live", &r);
  EXPECT_EQ(r.is_active, 1);
  load_session(root.path().c_str(), "done", &r);
  EXPECT_EQ(r.is_active, 0);
  load_session(root.path().c_str(), "dirmarker", &r);
  EXPECT_EQ(r.is_active, 0);
  load_session(root.path().c_str(), "nomarker", &r);
  EXPECT_EQ(r.is_active, 0);
}

TEST(LoadSession, SpecialFilesAreNeverOpened) {
  TempDir root;
  make_dirs(root.at("fifo"));
  for (const char *name : {"meta.json", "stats.json", "thinking", "events.jsonl"}) {
    ASSERT_EQ(mkfifo(root.at(std::string("fifo/") + name).c_str(), 0600), 0);
  }
  SessionRecord r{};
  EXPECT_EQ(load_session(root.path().c_str(), "fifo", &r), 1);  // returns, does not block
  EXPECT_EQ(r.is_active, 0);
  // Directories in place of files count as missing files.
  make_dirs(root.at("dirs/meta.json"));
  make_dirs(root.at("dirs/events.jsonl"));
  EXPECT_EQ(load_session(root.path().c_str(), "dirs", &r), 1);
  EXPECT_STREQ(r.id, "dirs");
}

}  // namespace

namespace {

// The start read alone is the start the whole load finds, whatever comes
// before the first accepted line: lines that are not events, lines longer
// than a piece, a log without an ending, none at all.
TEST(LoadSession, StartAloneMatchesTheWholeLoad) {
  const std::string good = R"({"ts":"2024-01-01 00:00:10","event":"agent_run_start"})";
  const std::string later = R"({"ts":"2024-01-01 00:05:00","event":"agent_idle"})";
  const std::string long_value(5000, 'x');
  const std::string cases[] = {
      good + "\n" + later + "\n",
      "not json\n\n" + good + "\n",
      R"({"event":"agent_run_start"})"
      "\n" +
          good + "\n",
      R"({"ts":"2024-01-01 00:00:01","note":")" + long_value + "\"}\n" + good + "\n",
      std::string(4095, ' ') + good + "\n" + later,
      std::string(9000, '{') + "\n" + later,
      good,
      "",
      "\n\n\n",
  };
  int number = 0;
  for (const std::string &log : cases) {
    TempDir root;
    write_file(root.at("s/events.jsonl"), log);
    if (number % 2 == 0)
      write_file(root.at("s/meta.json"), R"({"id":"x-1","start_epoch":1704067000})");
    SessionRecord whole{};
    SessionRecord start{};
    ASSERT_EQ(load_session(root.path().c_str(), "s", &whole), 1);
    ASSERT_EQ(load_session_start(root.path().c_str(), "s", &start), 1);
    EXPECT_EQ(start.first_epoch, whole.first_epoch) << number;
    EXPECT_STREQ(start.id, whole.id) << number;
    if (number % 2 == 0) EXPECT_EQ(start.start_epoch, 1704067000) << number;
    ++number;
  }
  SessionRecord none{};
  EXPECT_EQ(load_session_start("/nonexistent-qv", "s", &none), 0);
}

}  // namespace
