// What the Windows build must get right beyond the shared black-box cases:
// UTF-8 names and paths, links, the default sessions roots inside the Wine
// prefix, and readers that never stand in the agent's way. The name and link
// cases run natively as well, so that both builds are held to the same
// replies; the others need the Windows helper program (QV_TEST_WINDOWS_HELPER).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "json_check.h"
#include "program_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kJsonHeader =
    "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n";

std::string json_reply(const std::vector<std::string> &env) {
  const ProgramResult result = run_program(env);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out.rfind(kJsonHeader, 0), 0U) << result.out.substr(0, 300);
  EXPECT_EQ(json_reply_error(result.out), "");
  return result.out;
}

bool contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool is_utf8(const std::string &text) {
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    unsigned min = 0;
    unsigned code = byte;
    if (byte >= 0xF0 && byte <= 0xF4) {
      length = 4, min = 0x10000, code = byte & 0x07U;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      length = 3, min = 0x800, code = byte & 0x0FU;
    } else if (byte >= 0xC2 && byte <= 0xDF) {
      length = 2, min = 0x80, code = byte & 0x1FU;
    } else if (byte >= 0x80) {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0U) != 0x80U) return false;
      code = (code << 6U) | (next & 0x3FU);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string url_encoded(const std::string &text) {
  static const char *kHex = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '-' || c == '_' || c == '.') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4U];
      out += kHex[byte & 0x0FU];
    }
  }
  return out;
}

TEST(BlackboxWindows, Utf8FolderNamesAndRootPassByteForByte) {
  TempDir base;
  const std::string root = base.at("Zo\xc3\xab-\xc3\xb1/sessions");
  const std::vector<std::string> names = {
      "caf\xc3\xa9",
      "\xe6\x97\xa5\xe6\x9c\xac-\xe3\x82\xbb\xe3\x83\x83\xe3\x82\xb7\xe3\x83\xa7\xe3\x83\xb3",
      "plain"};
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string cwd = "/home/zo\xc3\xab/projets/" + names[i];
    write_file(root + "/" + names[i] + "/meta.json", R"({"cwd":")" + cwd + R"(","model":"m"})");
    write_file(root + "/" + names[i] + "/events.jsonl",
               event_line(ts_at(static_cast<long long>(i) * 100), "agent_run_start") +
                   event_line(ts_at(static_cast<long long>(i) * 100 + 30), "tool_use",
                              R"(,"tool":"Read")") +
                   event_line(ts_at(static_cast<long long>(i) * 100 + 60), "agent_idle"));
  }
  const std::string summary =
      json_reply({"QV_SESSIONS_DIR=" + root, "QUERY_STRING=action=summary"});
  EXPECT_TRUE(is_utf8(summary));
  EXPECT_TRUE(
      contains(summary, "\"sessions_root\":\"" + root + "\",\"root_found\":true,\"count\":3,"))
      << summary.substr(0, 400);
  for (const std::string &name : names) {
    EXPECT_TRUE(contains(summary, "\"dir\":\"" + name + "\"")) << name;
    EXPECT_TRUE(contains(summary, "\"cwd\":\"/home/zo\xc3\xab/projets/" + name + "\"")) << name;
    // The page asks for a row by its folder name, URL-encoded.
    const std::string one = json_reply(
        {"QV_SESSIONS_DIR=" + root, "QUERY_STRING=action=session&sid=" + url_encoded(name)});
    EXPECT_TRUE(is_utf8(one));
    EXPECT_EQ(one.rfind(kJsonHeader + "{\"ok\":true,", 0), 0U) << name << "\n" << one;
    EXPECT_TRUE(contains(one, "\"dir\":\"" + name + "\"")) << one;
    EXPECT_TRUE(contains(one, R"("tools":[{"name":"Read","calls":1}])")) << one;
  }
}

TEST(BlackboxWindows, LinksAreFollowedAndDanglingOnesSkipped) {
  // Under Wine these are Unix links, which Wine follows itself: the Windows
  // build must still list the same sessions as the native one.
  TempDir root;
  write_file(root.at("real/events.jsonl"), event_line(ts_at(0), "session_start"));
  write_file(root.at("real/meta.json"), R"({"model":"real-model"})");
  write_file(root.at("elsewhere/target/events.jsonl"), event_line(ts_at(50), "session_start"));
  ASSERT_EQ(symlink(root.at("elsewhere/target").c_str(), root.at("linked").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", root.at("dangling").c_str()), 0);
  ASSERT_EQ(symlink("loop", root.at("loop").c_str()), 0);
  ASSERT_EQ(symlink("/nowhere", root.at("real/stats.json").c_str()), 0);
  const std::string summary =
      json_reply({"QV_SESSIONS_DIR=" + root.path(), "QUERY_STRING=action=summary"});
  EXPECT_TRUE(contains(summary, "\"count\":3,")) << summary;
  for (const char *name : {"real", "linked", "elsewhere"}) {
    EXPECT_TRUE(contains(summary, "\"dir\":\"" + std::string(name) + "\"")) << name;
  }
  EXPECT_TRUE(contains(summary, "\"model\":\"real-model\""));
  for (const char *name : {"dangling", "loop"}) {
    const std::string one = json_reply(
        {"QV_SESSIONS_DIR=" + root.path(), "QUERY_STRING=action=session&sid=" + std::string(name)});
    EXPECT_TRUE(contains(one, R"({"ok":false,"error":"session not found",)")) << one;
  }
}

// ---- Windows processes beside the program, under Wine ----

std::string helper_program() {
  const char *helper = std::getenv("QV_TEST_WINDOWS_HELPER");
  return helper == nullptr ? std::string() : std::string(helper);
}

// The variables a Windows process under the wrapper needs, plus `extra`.
std::vector<std::string> wrapper_env(const std::vector<std::string> &extra) {
  std::vector<std::string> env = extra;
  for (const char *name : {"HOME", "PATH", "WINEPREFIX", "WINEDLLOVERRIDES"}) {
    if (const char *value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  env.emplace_back("WINEDEBUG=-all");
  env.emplace_back("LANG=C.UTF-8");
  return env;
}

// A Windows program started under the wrapper, its output going to a file.
struct Started {
  pid_t pid = -1;
  int stdin_fd = -1;  // the write end of its standard input
  std::string out_path;
};

Started start_windows(const std::string &program, const std::vector<std::string> &args,
                      const std::vector<std::string> &extra_env, const std::string &out_path) {
  Started started;
  started.out_path = out_path;
  std::vector<std::string> argv_strings = {std::getenv("QV_TEST_WRAPPER"), program};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<std::string> env_strings = wrapper_env(extra_env);
  std::vector<char *> argv = null_terminated(argv_strings);
  std::vector<char *> envp = null_terminated(env_strings);
  int input[2];
  if (pipe(input) != 0) return started;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_addclose(&actions, input[1]);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (posix_spawnp(&started.pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
    started.pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  started.stdin_fd = input[1];
  return started;
}

// Ends its standard input, waits for it and answers its exit status.
int finish(Started *started) {
  if (started->stdin_fd >= 0) close(started->stdin_fd);
  started->stdin_fd = -1;
  int status = 0;
  if (started->pid < 0 || waitpid(started->pid, &status, 0) != started->pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string run_helper(const std::vector<std::string> &args, const std::string &out_path,
                       int *status = nullptr) {
  Started started = start_windows(helper_program(), args, {}, out_path);
  const int exit_status = finish(&started);
  if (status != nullptr) *status = exit_status;
  return read_file(out_path);
}

// Polls `done` every millisecond for up to `seconds`.
template <typename Condition>
bool wait_for(Condition done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Whether process `pid` has a file open whose path ends in `suffix`.
bool holds_file(pid_t pid, const std::string &suffix) {
  std::error_code error;
  for (const auto &entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    std::error_code link_error;
    const std::string target = fs::read_symlink(entry.path(), link_error).string();
    if (!link_error && target.size() >= suffix.size() &&
        target.compare(target.size() - suffix.size(), suffix.size(), suffix) == 0) {
      return true;
    }
  }
  return false;
}

#define REQUIRE_WINDOWS_HELPER()                                                     \
  if (!running_windows_build() || helper_program().empty()) {                        \
    GTEST_SKIP() << "needs the Windows build under Wine and QV_TEST_WINDOWS_HELPER"; \
  }

TEST(BlackboxWindows, ManifestMakesTheCodePageUtf8) {
  REQUIRE_WINDOWS_HELPER();
  TempDir scratch;
  EXPECT_EQ(run_helper({"acp"}, scratch.at("acp.txt")), "65001\n");
}

// Wine's Windows path of one of its own folders, as a Unix path in the prefix.
std::string unix_path_in_prefix(const std::string &windows_path) {
  const char *prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr || windows_path.size() < 3 || windows_path[1] != ':') return "";
  std::string path = std::string(prefix) + "/drive_" +
                     static_cast<char>(std::tolower(static_cast<unsigned char>(windows_path[0])));
  for (char c : windows_path.substr(2)) path += c == '\\' ? '/' : c;
  return path;
}

std::string json_escaped(const std::string &text) {
  std::string out;
  for (char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

// Removes the candidate folders it made, whatever the test's outcome.
struct MadeFolders {
  std::vector<std::string> paths;
  ~MadeFolders() {
    for (const auto &path : paths) fs::remove_all(path);
  }
};

TEST(BlackboxWindows, SessionsRootCandidatesInTheWinePrefix) {
  REQUIRE_WINDOWS_HELPER();
  TempDir scratch;
  // Wine gives the program its own profile variables, whatever we pass.
  std::string app_data = run_helper({"env", "LOCALAPPDATA"}, scratch.at("a.txt"));
  std::string profile = run_helper({"env", "USERPROFILE"}, scratch.at("p.txt"));
  ASSERT_FALSE(app_data.empty());
  ASSERT_FALSE(profile.empty());
  app_data.pop_back();  // the line feed
  profile.pop_back();
  const std::string app_root = app_data + "\\quorvane\\sessions";
  const std::string profile_root = profile + "\\.quorvane\\sessions";
  const std::string app_dir = unix_path_in_prefix(app_data + "\\quorvane");
  const std::string profile_dir = unix_path_in_prefix(profile + "\\.quorvane");
  ASSERT_TRUE(fs::is_directory(unix_path_in_prefix(app_data))) << app_data;
  ASSERT_FALSE(fs::exists(app_dir)) << app_dir << " is left from elsewhere";
  ASSERT_FALSE(fs::exists(profile_dir)) << profile_dir << " is left from elsewhere";
  MadeFolders made{{app_dir, profile_dir}};

  const auto summary_root = [](const std::string &root, bool found) {
    return "\"sessions_root\":\"" + json_escaped(root) +
           "\",\"root_found\":" + (found ? "true" : "false") + ",";
  };
  // Neither exists: the application-data candidate is reported, not found.
  std::string summary = json_reply({"QUERY_STRING=action=summary"});
  EXPECT_TRUE(contains(summary, summary_root(app_root, false))) << summary.substr(0, 300);

  // Only the profile candidate exists: it wins.
  write_file(profile_dir + "/sessions/from-profile/events.jsonl",
             event_line(ts_at(0), "session_start"));
  summary = json_reply({"QUERY_STRING=action=summary"});
  EXPECT_TRUE(contains(summary, summary_root(profile_root, true))) << summary.substr(0, 300);
  EXPECT_TRUE(contains(summary, "\"dir\":\"from-profile\""));

  // Both exist: the application-data candidate comes first.
  write_file(app_dir + "/sessions/from-app-data/events.jsonl",
             event_line(ts_at(0), "session_start"));
  summary = json_reply({"QUERY_STRING=action=summary"});
  EXPECT_TRUE(contains(summary, summary_root(app_root, true))) << summary.substr(0, 300);
  EXPECT_TRUE(contains(summary, "\"dir\":\"from-app-data\""));
  EXPECT_FALSE(contains(summary, "from-profile"));

  // The override still wins over both.
  summary = json_reply({"QUERY_STRING=action=summary", "QV_SESSIONS_DIR=" + scratch.path()});
  EXPECT_TRUE(contains(summary, summary_root(scratch.path(), true))) << summary.substr(0, 300);
}

// A session whose log the agent renames and deletes, and whose folder it
// renames, while a reader holds the log.
void write_agent_session(const std::string &dir, size_t log_lines) {
  write_file(dir + "/meta.json", R"({"model":"m"})");
  std::ofstream log(dir + "/events.jsonl", std::ios::binary);
  const std::string line = event_line(ts_at(0), "tool_use", R"(,"tool":"Bash")");
  std::string block;
  for (int i = 0; i < 4096; ++i) block += line;
  for (size_t written = 0; written < log_lines; written += 4096) {
    log.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

std::string all_steps_ok() {
  return "rename log: ok\ndelete log: ok\ndelete meta: ok\nrename folder: ok\n";
}

TEST(BlackboxWindows, AgentRenamesAndDeletesWhatAReaderHolds) {
  REQUIRE_WINDOWS_HELPER();
  // The program's own open against the C runtime's fopen, which shares no
  // deletion: with fopen the agent's rename of the log fails.
  for (const std::string how : {"program", "crt"}) {
    TempDir scratch;
    write_agent_session(scratch.at("s"), 1);
    Started holder = start_windows(helper_program(), {"hold", how, scratch.at("s/events.jsonl")},
                                   {}, scratch.at("hold.txt"));
    ASSERT_TRUE(wait_for([&] { return read_file(scratch.at("hold.txt")) == "held\n"; }, 60)) << how;
    int status = -1;
    const std::string steps =
        run_helper({"agent", scratch.at("s")}, scratch.at("agent.txt"), &status);
    EXPECT_EQ(finish(&holder), 0) << how;
    if (how == "program") {
      EXPECT_EQ(steps, all_steps_ok());
      EXPECT_EQ(status, 0);
      EXPECT_FALSE(fs::exists(scratch.at("s-moved/events.jsonl")));
    } else {
      EXPECT_EQ(steps.rfind("rename log: error 32\n", 0), 0U) << steps;  // sharing violation
      EXPECT_EQ(status, 1);
      EXPECT_TRUE(fs::exists(scratch.at("s-moved/events.jsonl")));
    }
    EXPECT_FALSE(fs::exists(scratch.at("s")));
  }
}

TEST(BlackboxWindows, AgentRenamesAndDeletesWhileARequestReads) {
  REQUIRE_WINDOWS_HELPER();
  // The request reads a log of some 200 MB. The agent's side waits until the
  // request's process is seen holding the log, then acts; the request still
  // holding it afterwards shows that the two overlapped. A round in which the
  // request finished first proves nothing and is run again.
  constexpr size_t kLines = 3400000;
  bool overlapped = false;
  for (int round = 0; round < 3 && !overlapped; ++round) {
    TempDir scratch;
    write_agent_session(scratch.at("root/s"), kLines);
    const std::string go = scratch.at("go");
    Started agent = start_windows(helper_program(), {"agent", scratch.at("root/s"), go}, {},
                                  scratch.at("agent.txt"));
    Started request = start_windows(
        std::getenv("QV_TEST_PROGRAM"), {},
        {"QV_SESSIONS_DIR=" + scratch.at("root"), "QUERY_STRING=action=session&sid=s"},
        scratch.at("reply.txt"));
    ASSERT_TRUE(wait_for([&] { return holds_file(request.pid, "/root/s/events.jsonl"); }, 60));
    write_file(go, "");
    const int agent_status = finish(&agent);
    overlapped = holds_file(request.pid, "/events.old");
    EXPECT_EQ(finish(&request), 0);
    EXPECT_EQ(read_file(scratch.at("agent.txt")), all_steps_ok());
    EXPECT_EQ(agent_status, 0);
    const std::string reply = read_file(scratch.at("reply.txt"));
    EXPECT_EQ(json_reply_error(reply), "");
    // The whole log was read although its name went away midway.
    EXPECT_TRUE(contains(reply, "{\"name\":\"Bash\",\"calls\":" +
                                    std::to_string((kLines + 4095) / 4096 * 4096) + "}"))
        << reply.substr(0, 400);
    EXPECT_FALSE(fs::exists(scratch.at("root/s")));
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_TRUE(overlapped) << "the request never held the log while the agent acted";
}

}  // namespace
