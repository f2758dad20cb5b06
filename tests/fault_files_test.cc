// The program against session files that change, break or grow while it reads
// them: every reply must still be complete, valid and end with status 0.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fixed_replies.h"
#include "program_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// One JSON request on `root`, with the checks every JSON reply must pass.
std::string json_request(const std::string &root, const std::string &query,
                         ProgramResult *raw = nullptr) {
  return run_json_request({"QV_SESSIONS_DIR=" + root, "QUERY_STRING=" + query}, query, raw);
}

bool contains(const std::string &text, const std::string &needle) {
  return text.find(needle) != std::string::npos;
}

// Appends in two writes, so that a reader may see half a line.
void append_split(const std::string &path, const std::string &line) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  const size_t half = line.size() / 2;
  out.write(line.data(), static_cast<std::streamsize>(half));
  out.flush();
  out.write(line.data() + half, static_cast<std::streamsize>(line.size() - half));
}

TEST(FaultFiles, AgentWritesWhileRequestsRun) {
  TempDir root;
  const std::string steady = root.at("steady");
  const std::string fleeting = root.at("fleeting");
  write_file(steady + "/meta.json", R"({"id":"steady","profile":"coder","model":"m1"})");
  write_file(steady + "/events.jsonl", event_line(ts_at(0), "session_start"));
  make_dirs(fleeting);

  std::atomic<bool> stop{false};
  std::thread agent([&] {
    for (long long i = 1; !stop.load(); ++i) {
      static const char *const kEvents[] = {"agent_run_start", "tool_use", "agent_idle",
                                            "user_message", "agent_complete"};
      append_split(
          steady + "/events.jsonl",
          event_line(ts_at(i), kEvents[i % 5], R"(,"tool":"T)" + std::to_string(i % 7) + "\""));
      // Truncated, then written: a reader may find it empty or half written.
      write_file(steady + "/stats.json",
                 R"({"input_tokens":)" + std::to_string(i) + R"(,"branch":"b)" +
                     std::string(static_cast<size_t>(i % 300), 'x') + "\"}");
      std::error_code ignored;
      if (i % 2 == 0) {
        write_file(steady + "/thinking", "");
      } else {
        fs::remove(steady + "/thinking", ignored);
      }
      if (i % 3 == 0) {
        fs::remove_all(fleeting, ignored);
      } else if (i % 3 == 1) {
        write_file(fleeting + "/events.jsonl", event_line(ts_at(i), "agent_run_start"));
      } else {
        fs::remove_all(fleeting, ignored);
        write_file(fleeting, "now a file");
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });

  const auto duration = std::chrono::milliseconds(running_windows_build() ? 1500 : 2500);
  const auto end = std::chrono::steady_clock::now() + duration;
  int runs = 0;
  while (std::chrono::steady_clock::now() < end) {
    const std::string summary = json_request(root.path(), "action=summary");
    EXPECT_TRUE(contains(summary, "{\"ok\":true,")) << summary;
    EXPECT_TRUE(contains(summary, "\"id\":\"steady\""));
    const std::string session = json_request(root.path(), "action=session&sid=steady");
    EXPECT_TRUE(contains(session, "{\"ok\":true,")) << session;
    const std::string other = json_request(root.path(), "action=session&sid=fleeting");
    EXPECT_TRUE(contains(other, "{\"ok\":true,") ||
                other == not_found_reply("fleeting", root.path()))
        << other;
    runs += 3;
    // Under Wine every start is slow; a few rounds make the point.
    if (::testing::Test::HasFailure() || (running_windows_build() && runs >= 6)) break;
  }
  stop = true;
  agent.join();
  EXPECT_GE(runs, 3);
}

TEST(FaultFiles, DamagedAndVanishingSessions) {
  TempDir root;
  const std::string nuls(4096, '\0');
  write_file(root.at("empty/meta.json"), "");
  write_file(root.at("empty/stats.json"), "");
  write_file(root.at("empty/events.jsonl"), "");
  write_file(root.at("zeros/meta.json"), nuls);
  write_file(root.at("zeros/stats.json"), nuls);
  write_file(root.at("zeros/events.jsonl"), nuls + event_line(ts_at(0), "session_start"));
  write_file(root.at("cut/meta.json"), R"({"id":"cut-id","model":"mo)");
  write_file(root.at("cut/stats.json"), R"({"input_tokens":12)");
  write_file(root.at("cut/events.jsonl"), event_line(ts_at(0), "agent_run_start") +
                                              event_line(ts_at(30), "agent_idle") +
                                              R"({"ts":"2024-01-01 00:1)");
  for (const char *entry : {"meta.json", "stats.json", "events.jsonl", "thinking"}) {
    make_dirs(root.at(std::string("dirs/") + entry));
  }
  write_file(root.at("plain-file"), R"({"id":"plain-file"})");

  std::string summary = json_request(root.path(), "action=summary");
  EXPECT_TRUE(contains(summary, "\"count\":4,")) << summary;
  EXPECT_FALSE(contains(summary, "plain-file"));
  // A truncated file still gives what it holds; a cut final line is no event.
  const std::string cut = json_request(root.path(), "action=session&sid=cut-id");
  EXPECT_TRUE(contains(cut, R"("id":"cut-id","dir":"cut","model":"mo")")) << cut;
  EXPECT_TRUE(contains(cut, R"("tokens":{"in":12,)"));
  EXPECT_TRUE(contains(cut, R"("last_epoch":1704067230,)"));
  EXPECT_TRUE(contains(cut, R"("active_sec":30,)"));
  // NUL bytes end a JSON file's text; in the log they end only their line.
  const std::string zeros = json_request(root.path(), "action=session&sid=zeros");
  EXPECT_TRUE(contains(zeros, R"("id":"zeros","dir":"zeros","model":"")")) << zeros;
  EXPECT_TRUE(contains(zeros, R"("tokens":{"in":0,)"));
  // Entries that are directories are no files: no marker, no log.
  const std::string dirs = json_request(root.path(), "action=session&sid=dirs");
  EXPECT_TRUE(contains(dirs, R"("is_active":false,)")) << dirs;
  EXPECT_TRUE(contains(dirs, R"("first_epoch":0,)"));

  // Between requests sessions vanish, become files, and files become folders.
  fs::remove_all(root.at("empty"));
  fs::remove_all(root.at("zeros"));
  write_file(root.at("zeros"), "a file now");
  fs::remove(root.at("plain-file"));
  make_dirs(root.at("plain-file"));
  fs::remove(root.at("cut/meta.json"));
  make_dirs(root.at("cut/meta.json"));
  summary = json_request(root.path(), "action=summary");
  EXPECT_TRUE(contains(summary, "\"count\":3,")) << summary;
  EXPECT_TRUE(contains(summary, R"("id":"plain-file")"));
  EXPECT_TRUE(contains(summary, R"("id":"cut","dir":"cut")"));
  EXPECT_EQ(json_request(root.path(), "action=session&sid=empty"),
            not_found_reply("empty", root.path()));
  EXPECT_EQ(json_request(root.path(), "action=session&sid=zeros"),
            not_found_reply("zeros", root.path()));

  // The whole root replaced by a file.
  fs::remove_all(root.path());
  write_file(root.path(), "no longer a folder");
  summary = json_request(root.path(), "action=summary");
  EXPECT_TRUE(contains(summary, R"("root_found":false,"count":0,)")) << summary;
  fs::remove(root.path());
  make_dirs(root.path());  // for the clean-up
}

TEST(FaultFiles, SpecialEntriesNative) {
  if (running_windows_build()) GTEST_SKIP() << "links and FIFOs are POSIX matters";
  TempDir root;
  write_file(root.at("real/events.jsonl"), event_line(ts_at(0), "session_start"));
  ASSERT_EQ(symlink("nowhere", root.at("dangling").c_str()), 0);
  ASSERT_EQ(symlink("loop", root.at("loop").c_str()), 0);
  make_dirs(root.at("fifo"));
  ASSERT_EQ(mkfifo(root.at("fifo/stats.json").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(root.at("fifo/thinking").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", root.at("fifo/events.jsonl").c_str()), 0);
  const std::string summary = json_request(root.path(), "action=summary");
  EXPECT_TRUE(contains(summary, "\"count\":2,")) << summary;
  const std::string fifo = json_request(root.path(), "action=session&sid=fifo");
  EXPECT_TRUE(contains(fifo, R"("is_active":false,)")) << fifo;
}

// One session whose log is a single line of `size` bytes without a line feed.
void write_long_line(const std::string &path, size_t size) {
  make_dirs(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string head = R"({"ts":"2024-01-01 00:00:00","event":"session_start","model":")";
  out << head;
  const std::string chunk(1 << 20, 'x');
  for (size_t written = head.size(); written < size; written += chunk.size()) {
    out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), size - written)));
  }
  ASSERT_TRUE(out.good());
}

double timed_request(const std::string &root, ProgramResult *result) {
  const auto start = std::chrono::steady_clock::now();
  const std::string reply = json_request(root, "action=session&sid=s", result);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  // The model comes from the line's first piece, cut to its field.
  EXPECT_TRUE(contains(reply, "\"model\":\"" + std::string(63, 'x') + "\",")) << reply.size();
  EXPECT_TRUE(contains(reply, R"("first_epoch":1704067200,"last_epoch":1704067200,)"));
  return took.count();
}

TEST(FaultFiles, HugeUnterminatedLine) {
  const size_t big = running_windows_build() ? (16U << 20) : (200U << 20);
  TempDir small_root;
  TempDir big_root;
  write_long_line(small_root.at("s/events.jsonl"), big / 10);
  write_long_line(big_root.at("s/events.jsonl"), big);
  ProgramResult small_run;
  ProgramResult big_run;
  const double small_time = timed_request(small_root.path(), &small_run);
  const double big_time = timed_request(big_root.path(), &big_run);
  // Ten times the bytes may take ten times as long, with room for noise.
  EXPECT_LT(big_time, 25 * small_time + 1.0) << small_time << " s, then " << big_time << " s";
  if (!running_windows_build()) {
    // The log is streamed: memory does not grow with it.
    EXPECT_LT(big_run.max_rss_kb, small_run.max_rss_kb + 16 * 1024)
        << small_run.max_rss_kb << " kB, then " << big_run.max_rss_kb << " kB";
  }
}

TEST(FaultFiles, ManySessionFolders) {
  TempDir root;
  for (int i = 0; i < 1030; ++i) make_dirs(root.at("s" + std::to_string(i)));
  const std::string summary = json_request(root.path(), "action=summary");
  EXPECT_TRUE(contains(summary, "\"count\":256,")) << summary.substr(0, 400);
  EXPECT_EQ(count_of(summary, "{\"id\":"), 256U);
}

TEST(FaultFiles, LongAndOddNames) {
  TempDir root;
  const std::string name127(127, 'n');
  const std::string name128 = name127 + "8";
  const std::string name255(255, 'm');
  write_file(root.at(name127 + "/meta.json"), R"({"model":"short-one"})");
  write_file(root.at(name128 + "/meta.json"), R"({"id":"MARKER-128","model":"long-one"})");
  write_file(root.at(name255 + "/meta.json"), R"({"id":"MARKER-255"})");
  const std::string summary = json_request(root.path(), "action=summary");
  // The 128- and 255-byte names are cut to 127 bytes: the first names the
  // 127-byte folder again, the second no folder; their own files stay unread.
  EXPECT_TRUE(contains(summary, "\"count\":2,")) << summary;
  EXPECT_EQ(count_of(summary, "\"dir\":\"" + name127 + "\""), 2U);
  EXPECT_FALSE(contains(summary, "MARKER"));
  EXPECT_FALSE(contains(summary, name127 + "8"));
  // A sid is cut to 127 bytes as well, whatever its length.
  for (const std::string &sid : {name128, std::string(300, 'n'), name255}) {
    const std::string reply = json_request(root.path(), "action=session&sid=" + sid);
    EXPECT_FALSE(contains(reply, "MARKER"));
    if (sid[0] == 'n') {
      EXPECT_TRUE(contains(reply, R"("model":"short-one")")) << reply;
    } else {
      EXPECT_EQ(reply, not_found_reply(std::string(127, 'm'), root.path()));
    }
  }

  if (running_windows_build()) return;  // Wine maps names through its own code page
  const std::string odd = "s\xff\xfe\x80-\xc3(";
  write_file(root.at(odd + "/meta.json"), "{\"model\":\"\xe9t\xe9\"}");
  const std::string again = json_request(root.path(), "action=summary");
  EXPECT_TRUE(contains(again, "\"dir\":\"" + odd + "\"")) << again;
  EXPECT_TRUE(contains(again, "\"model\":\"\xe9t\xe9\""));
  const std::string one = json_request(root.path(), "action=session&sid=s%FF%FE%80-%C3(");
  EXPECT_TRUE(contains(one, "{\"ok\":true,")) << one;
  EXPECT_TRUE(contains(one, "\"dir\":\"" + odd + "\""));
}

}  // namespace
