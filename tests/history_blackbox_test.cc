// The history program run as a user runs it, natively and (through Wine) the
// Windows build: its figures against the plugin's own session replies, its
// formats against standard readers, its errors and its limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fixed_replies.h"
#include "history_support.h"
#include "program_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// What the plugin's session reply says of one session.
struct Reply {
  long long total = 0;
  long long active = 0;
  long long idle = 0;
  long long turns = 0;
  long long tool_calls = 0;
};

Reply session_reply(const std::string &root, const std::string &name) {
  const std::string out =
      run_program({"QV_SESSIONS_DIR=" + root, "QUERY_STRING=action=session&sid=" + name}).out;
  Reply reply;
  const size_t session = out.find("\"session\":");
  EXPECT_NE(session, std::string::npos) << name << out.substr(0, 300);
  reply.total = number_after(out, "total_sec", session);
  reply.active = number_after(out, "active_sec", session);
  reply.idle = number_after(out, "idle_sec", session);
  reply.turns = number_after(out, "turns", session);
  for (size_t at = out.find("\"calls\":"); at != std::string::npos;
       at = out.find("\"calls\":", at + 1)) {
    reply.tool_calls += std::stoll(out.substr(at + 8));
  }
  return reply;
}

// Every session's day rows add up to its session reply, in every zone; one
// whose log goes back in time (or has no span to split) is one row.
void expect_day_sums_equal_replies(const std::string &root) {
  for (const auto &entry : fs::directory_iterator(root)) {
    if (!entry.is_directory() || entry.path().filename().string()[0] == '.') continue;
    const std::string name = entry.path().filename().string();
    const Reply reply = session_reply(root, name);
    TempDir alone;
    fs::copy(entry.path(), alone.at(name), fs::copy_options::recursive);
    for (const auto &zone : kZones) {
      if (running_windows_build() && zone[1] != "utc" && zone[1] != "local") continue;
      std::vector<std::string> args = {"--root", alone.path(), "--by", "day", "--format", "csv"};
      args.insert(args.end(), zone.begin(), zone.end());
      const auto rows = csv_rows(report(args, kNewYork));
      ASSERT_FALSE(rows.empty()) << name;
      long long wall = 0, active = 0, idle = 0, turns = 0, tools = 0;
      for (size_t i = 0; i + 1 < rows.size(); ++i) {
        wall += std::stoll(rows[i].at("wall_sec"));
        active += std::stoll(rows[i].at("active_sec"));
        idle += std::stoll(rows[i].at("idle_sec"));
        turns += std::stoll(rows[i].at("turns"));
        tools += std::stoll(rows[i].at("tool_calls"));
      }
      const std::string label = name + " " + zone[1];
      if (reply.total == 0 && reply.turns == 0 && name == "timeless") {
        EXPECT_EQ(rows.size(), 1U) << label;  // the total alone: no time
        continue;
      }
      EXPECT_EQ(wall, reply.total) << label;
      EXPECT_EQ(active, reply.active) << label;
      EXPECT_EQ(idle, reply.idle) << label;
      EXPECT_EQ(turns, reply.turns) << label;
      EXPECT_EQ(tools, reply.tool_calls) << label;
      EXPECT_EQ(rows.back().at("day"), "total") << label;
      EXPECT_EQ(rows.back().at("sessions"), "1") << label;
      if (name == "backwards") EXPECT_EQ(rows.size(), 2U) << label;
    }
  }
}

TEST(HistoryBlackbox, DaySumsEqualSessionRepliesOnTheSamples) {
  expect_day_sums_equal_replies(QV_SOURCE_DIR "/examples/sessions");
}

TEST(HistoryBlackbox, DaySumsEqualSessionRepliesOnGeneratedRoots) {
  TempDir root;
  ASSERT_EQ(std::system((std::string(QV_MAKE_SESSIONS) + " " + root.path() +
                         " --sessions 24 --seed 3 --days 40 >/dev/null")
                            .c_str()),
            0);
  write_edge_sessions(root.path());
  expect_day_sums_equal_replies(root.path());
}

TEST(HistoryBlackbox, SplitsAtTheZonesBoundaries) {
  TempDir root;
  write_edge_sessions(root.path());
  // Across midnight: 50 minutes before it in UTC, 25 after; all of it on
  // one day 8 hours west, and on the next day 5:30 east.
  TempDir alone;
  fs::copy(root.at("midnight"), alone.at("midnight"), fs::copy_options::recursive);
  const struct {
    const char *zone;
    std::vector<std::vector<std::string>> days;  // day, wall, active, turns, tools, tokens
  } splits[] = {
      {"utc",
       {{"2026-11-30", "3000", "2400", "1", "1", "0"},
        {"2026-12-01", "1500", "1390", "1", "1", "100"}}},
      {"-08:00", {{"2026-11-30", "4500", "3790", "2", "2", "100"}}},
      {"+05:30", {{"2026-12-01", "4500", "3790", "2", "2", "100"}}},
  };
  for (const auto &split : splits) {
    const auto rows =
        csv_rows(report({"--root", alone.path(), "--tz", split.zone, "--format", "csv"}));
    ASSERT_EQ(rows.size(), split.days.size() + 1) << split.zone;
    for (size_t i = 0; i < split.days.size(); ++i) {
      const auto &want = split.days[i];
      EXPECT_EQ(rows[i].at("day"), want[0]) << split.zone;
      EXPECT_EQ(rows[i].at("wall_sec"), want[1]) << split.zone;
      EXPECT_EQ(rows[i].at("active_sec"), want[2]) << split.zone;
      EXPECT_EQ(rows[i].at("turns"), want[3]) << split.zone;
      EXPECT_EQ(rows[i].at("tool_calls"), want[4]) << split.zone;
      EXPECT_EQ(rows[i].at("input_tokens"), want[5]) << split.zone;
      EXPECT_EQ(rows[i].at("sessions"), "1") << split.zone;
    }
  }
  // New York's spring-forward day has 23 hours, all of them active.
  const auto dst = csv_rows(report({"--root", root.path(), "--tz", "local", "--format", "csv",
                                    "--since", "2026-03-08", "--until", "2026-03-08"},
                                   kNewYork));
  ASSERT_EQ(dst.size(), 2U);
  EXPECT_EQ(dst[0].at("day"), "2026-03-08");
  EXPECT_EQ(dst[0].at("active_sec"), std::to_string(23 * 3600));
  EXPECT_EQ(dst[0].at("wall_sec"), std::to_string(23 * 3600));
  // The same instants in fixed zones of both signs.
  const auto east =
      csv_rows(report({"--root", root.path(), "--tz", "+05:30", "--format", "csv", "--by", "week",
                       "--since", "2026-03-02", "--until", "2026-03-15"}));
  ASSERT_EQ(east.size(), 3U);
  EXPECT_EQ(east[0].at("week"), "2026-W10");
  EXPECT_EQ(east[1].at("week"), "2026-W11");
  const auto months = csv_rows(report({"--root", root.path(), "--tz", "-08:00", "--format", "csv",
                                       "--by", "month", "--until", "2026-11-30"}));
  ASSERT_GE(months.size(), 2U);
  EXPECT_EQ(months[months.size() - 2].at("month"), "2026-11");
}

// The Python standard library's readers take every format of every grouping.
TEST(HistoryBlackbox, CsvAndJsonParseWithStandardReaders) {
  if (std::system("python3 -c 'import csv, json' 2>/dev/null") != 0) {
    GTEST_FAIL() << "python3 is needed to read the reports with standard readers";
  }
  TempDir root;
  write_edge_sessions(root.path());
  fs::copy(QV_SOURCE_DIR "/examples/sessions", root.at(""), fs::copy_options::recursive);
  write_file(root.at("odd/meta.json"),
             "{\"profile\":\"a,b\",\"model\":\"say \\\"hi\\\"\",\"cwd\":\"C:\\\\x\\ty\\nz\x07\"}");
  write_file(root.at("odd/events.jsonl"),
             line(kT + 10, "agent_run_start") + line(kT + 70, "agent_idle"));
  TempDir out;
  std::string pairs;
  int pair = 0;
  for (const char *by : {"day", "week", "month", "profile", "model", "project", "session"}) {
    for (const std::vector<std::string> &window :
         std::vector<std::vector<std::string>>{{}, {"--since", "2026-12-02"}}) {
      std::vector<std::string> args = {"--root", root.path(), "--by", by, "--tz", "utc"};
      args.insert(args.end(), window.begin(), window.end());
      auto json_args = args;
      json_args.insert(json_args.end(), {"--format", "json"});
      auto csv_args = args;
      csv_args.insert(csv_args.end(), {"--format", "csv"});
      const std::string name = std::string(by) + std::to_string(pair++);
      write_file(out.at(name + ".json"), report(json_args));
      write_file(out.at(name + ".csv"), report(csv_args));
      pairs += " " + out.at(name + ".json") + " " + out.at(name + ".csv");
    }
  }
  const std::string check = std::string("python3 ") + QV_SOURCE_DIR +
                            "/tests/history_formats_check.py" + pairs + " >" + out.at("check.txt") +
                            " 2>&1";
  EXPECT_EQ(std::system(check.c_str()), 0) << read_file(out.at("check.txt"));
  EXPECT_EQ(count_of(read_file(out.at("check.txt")), "ok "), 14U);
}

// Rows by profile and by model hold the sums the plugin's summary gives.
TEST(HistoryBlackbox, ProfilesAndModelsMatchThePluginsSummary) {
  const std::string root = QV_SOURCE_DIR "/examples/sessions";
  const std::string summary =
      run_program({"QV_SESSIONS_DIR=" + root, "QUERY_STRING=action=summary"}).out;
  for (const std::string key : {"profile", "model"}) {
    const auto rows = csv_rows(report({"--root", root, "--by", key, "--format", "csv"}));
    ASSERT_GE(rows.size(), 2U);
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
      const std::string name = rows[i].at(key);
      const size_t at = summary.find("{\"" + key + "\":\"" + name + "\"");
      ASSERT_NE(at, std::string::npos) << key << " " << name;
      EXPECT_EQ(std::to_string(number_after(summary, "active_sec", at)), rows[i].at("active_sec"));
      EXPECT_EQ(std::to_string(number_after(summary, "sessions", at)), rows[i].at("sessions"));
      EXPECT_EQ(std::to_string(number_after(summary, "turns", at)), rows[i].at("turns"));
    }
    EXPECT_EQ(rows.back().at("sessions"), std::to_string(number_after(summary, "count")));
    EXPECT_EQ(rows.back().at("active_sec"), std::to_string(number_after(summary, "active_sec")));
  }
}

TEST(HistoryBlackbox, BadOptionsGiveOneLineAndStatusTwo) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> pieces;
  } cases[] = {
      {{"--by", "minute"}, {"'minute'", "day, week, month, hour, weekday"}},
      {{"--since", "2026-13-01"}, {"'2026-13-01'", "YYYY-MM-DD"}},
      {{"--tz", "+25:00"}, {"'+25:00'", "local, utc"}},
      {{"--format"}, {"'--format'", "table, json, csv, html or prometheus"}},
      {{"-o"}, {"'-o'", "a file"}},
      {{"--nonsense"}, {"'--nonsense'", "--root"}},
      {{"stray"}, {"'stray'"}},
  };
  for (const auto &c : cases) {
    const ProgramResult result = history(c.args, {"QV_SESSIONS_DIR=/nonexistent-qv"});
    EXPECT_EQ(result.status, 2) << c.args[0];
    EXPECT_EQ(result.out, "") << c.args[0];
    if (running_windows_build()) continue;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.err.rfind("rudeze_duziruzuderi-history: ", 0), 0U) << result.err;
    for (const std::string &piece : c.pieces) {
      EXPECT_NE(result.err.find(piece), std::string::npos) << result.err;
    }
  }
  for (const char *help : {"--help", "--version"}) {
    const ProgramResult result = history({help});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("rudeze_duziruzuderi-history"), std::string::npos);
  }
  EXPECT_NE(history({"--help"}).out.find("--since"), std::string::npos);
  // GNU's form: the name and the project's version alone on the first line,
  // then the copyright and the licence.
  const std::string version = history({"--version"}).out;
  EXPECT_EQ(version.substr(0, version.find('\n')), "rudeze_duziruzuderi-history " QV_VERSION);
  for (const char *line : {"\nCopyright (C) ", "\nLicense MIT: ", "\nThere is NO WARRANTY"}) {
    EXPECT_NE(version.find(line), std::string::npos) << version;
  }
}

TEST(HistoryBlackbox, MissingRootsSayWhichRuleChoseThem) {
  TempDir dir;
  write_file(dir.at("file"), "x");
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::vector<std::string> pieces;
  } cases[] = {
      {{"--root", dir.at("nowhere")}, {}, {dir.at("nowhere"), "does not exist", "--root"}},
      {{"--root", dir.at("file")}, {}, {dir.at("file"), "is not a directory", "--root"}},
      {{}, {"QV_SESSIONS_DIR=" + dir.at("nowhere")}, {"does not exist", "QV_SESSIONS_DIR"}},
  };
  for (const auto &c : cases) {
    const ProgramResult result = history(c.args, c.env);
    EXPECT_EQ(result.status, 1) << c.pieces[0];
    EXPECT_EQ(result.out, "");
    if (running_windows_build()) continue;
    for (const std::string &piece : c.pieces) {
      EXPECT_NE(result.err.find(piece), std::string::npos) << result.err;
    }
  }
  if (!running_windows_build()) {
    const ProgramResult fallback = history({}, {"HOME=" + dir.at("home")});
    EXPECT_EQ(fallback.status, 1);
    EXPECT_NE(fallback.err.find("quorvane/sessions"), std::string::npos) << fallback.err;
    EXPECT_NE(fallback.err.find("working directory"), std::string::npos) << fallback.err;
  }
  // An empty root, or a window with nothing in it: the heading and a zero total.
  make_dirs(dir.at("empty"));
  const auto csv = csv_records(report({"--root", dir.at("empty"), "--format", "csv"}));
  ASSERT_EQ(csv.size(), 2U);
  EXPECT_EQ(csv[1][0], "total");
  EXPECT_EQ(csv[1][1], "0");
  EXPECT_EQ(report({"--root", dir.at("empty"), "--format", "json", "--by", "session"}),
            "{\"by\":\"session\",\"tz\":\"local\",\"since\":null,\"until\":null,"
            "\"sessions_root\":" +
                json_quoted(dir.at("empty")) +
                ",\"rows\":[],\"total\":{\"sessions\":0,\"turns\":0,\"active_sec\":0,"
                "\"idle_sec\":0,\"wall_sec\":0,\"duty_cycle_pct\":0.00,\"tool_calls\":0,"
                "\"input_tokens\":0,\"output_tokens\":0,\"cache_read_tokens\":0,"
                "\"cache_creation_tokens\":0}}\n");
  const std::string table =
      report({"--root", QV_SOURCE_DIR "/examples/sessions", "--since", "2031-01-01"});
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 2) << table;
  EXPECT_NE(table.find("\ntotal "), std::string::npos) << table;
}

TEST(HistoryBlackbox, EverySessionOfAThousandMostRecentFirst) {
  TempDir root;
  ASSERT_EQ(std::system((std::string(QV_MAKE_SESSIONS) + " " + root.path() +
                         " --sessions 1000 --seed 9 --days 500 >/dev/null")
                            .c_str()),
            0);
  const auto rows = csv_rows(report({"--root", root.path(), "--by", "session", "--format", "csv"}));
  ASSERT_EQ(rows.size(), 1001U);
  // The generator dates each session at its last event, the newest last.
  for (size_t i = 0; i < 1000; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "sess-%04zu", 999 - i);
    ASSERT_EQ(rows[i].at("session"), name);
  }
  EXPECT_EQ(rows.back().at("sessions"), "1000");
}

// A session last written before --since cannot hold time after it: it is
// skipped unread, even when its lines claim otherwise.
TEST(HistoryBlackbox, SinceSkipsSessionsLastWrittenBefore) {
  TempDir root;
  const long long dec5 = 1796428800;  // 2026-12-05 00:00:00 UTC
  write_file(root.at("stale/events.jsonl"),
             line(dec5 + 100, "agent_run_start") + line(dec5 + 200, "agent_idle"));
  set_modified_time(root.at("stale/events.jsonl"), dec5 - 10 * kDay);
  write_file(root.at("fresh/events.jsonl"),
             line(dec5 + 100, "agent_run_start") + line(dec5 + 400, "agent_idle"));
  set_modified_time(root.at("fresh/events.jsonl"), dec5 + 400);
  const auto since = csv_rows(report({"--root", root.path(), "--tz", "utc", "--since", "2026-12-05",
                                      "--by", "session", "--format", "csv"}));
  ASSERT_EQ(since.size(), 2U);
  EXPECT_EQ(since[0].at("session"), "fresh");
  const auto all = csv_rows(
      report({"--root", root.path(), "--tz", "utc", "--by", "profile", "--format", "csv"}));
  EXPECT_EQ(all.back().at("sessions"), "2");
  EXPECT_EQ(all.back().at("active_sec"), "400");
}

// More days than the table holds: the rest goes to "(other)", one line says so,
// and nothing is lost from the sums.
TEST(HistoryBlackbox, DaysBeyondTheTableGoToOther) {
  TempDir root;
  std::string log;
  const long long first = kT;
  for (long long day = 0; day < 4200; ++day) {
    log += line(first + day * kDay + 3600, "agent_run_start") +
           line(first + day * kDay + 3660, "agent_idle");
  }
  write_file(root.at("long/events.jsonl"), log);
  const ProgramResult result = history({"--root", root.path(), "--tz", "utc", "--format", "csv"});
  EXPECT_EQ(result.status, 0);
  const auto rows = csv_rows(result.out);
  ASSERT_EQ(rows.size(), 4096U + 2);
  EXPECT_EQ(rows[4096].at("day"), "(other)");
  EXPECT_EQ(rows[4096].at("active_sec"), std::to_string(104 * 60));
  EXPECT_EQ(rows.back().at("active_sec"), std::to_string(4200 * 60));
  EXPECT_EQ(rows.back().at("turns"), "4200");
  if (!running_windows_build()) {
    EXPECT_NE(result.err.find("(other)"), std::string::npos);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
  }
}

// Names, paths and arguments in UTF-8 reach the report byte for byte, in the
// Windows build as well.
TEST(HistoryBlackbox, Utf8NamesAndArguments) {
  TempDir dir;
  const std::string root = dir.at("sessions-\xC3\xBC");
  const std::string japan = "\xE6\x97\xA5\xE6\x9C\xAC";
  write_file(root + "/" + japan + "-session/meta.json",
             "{\"cwd\":\"/src/caf\xC3\xA9-" + japan + "\",\"profile\":\"r\xC3\xA9viseur\"}");
  write_file(root + "/" + japan + "-session/events.jsonl",
             line(kT, "agent_run_start") + line(kT + 60, "agent_idle"));
  write_file(root + "/other/meta.json", R"({"cwd":"/src/plain","profile":"coder"})");
  write_file(root + "/other/events.jsonl",
             line(kT, "agent_run_start") + line(kT + 30, "agent_idle"));
  for (const std::vector<std::string> &filter : std::vector<std::vector<std::string>>{
           {"--project", japan}, {"--profile", "r\xC3\xA9viseur"}}) {
    std::vector<std::string> args = {"--root", root, "--by", "session", "--format", "csv"};
    args.insert(args.end(), filter.begin(), filter.end());
    const auto rows = csv_rows(report(args));
    ASSERT_EQ(rows.size(), 2U) << filter[0];
    EXPECT_EQ(rows[0].at("session"), japan + "-session");
    EXPECT_EQ(rows[0].at("project"), "/src/caf\xC3\xA9-" + japan);
    EXPECT_EQ(rows[0].at("active_sec"), "60");
  }
  const std::string json = report({"--root", root, "--by", "project", "--format", "json"});
  EXPECT_NE(json.find("\"sessions_root\":\"" + root + "\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"project\":\"/src/caf\xC3\xA9-" + japan + "\""), std::string::npos);
}

}  // namespace
