// Several sessions roots in one report, and the figures in Prometheus's text
// format, run as a user runs them, natively and (through Wine) the Windows
// build: every merge is held to the reports of the single roots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "history_support.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *kFigures[] = {
    "sessions",   "turns",        "active_sec",    "idle_sec",          "wall_sec",
    "tool_calls", "input_tokens", "output_tokens", "cache_read_tokens", "cache_creation_tokens"};

using Row = std::map<std::string, std::string>;

// A root as the program is given it: natively its path; under Wine, every
// other time, as a Windows path on drive Z:, which Wine maps to /.
std::string as_given(const std::string &path, bool windows_form) {
  if (!running_windows_build() || !windows_form) return path;
  std::string windows = "Z:" + path;
  for (char &c : windows) c = c == '/' ? '\\' : c;
  return windows;
}

// The CSV rows (total last) of the roots given, each "DIR" or "NAME=DIR".
std::vector<Row> rows_of(const std::vector<std::string> &roots, const std::string &by,
                         bool windows_form = false) {
  std::vector<std::string> args = {"--by", by, "--tz", "utc", "--format", "csv"};
  for (const std::string &root : roots) {
    const size_t equals = root.find('=');
    const std::string path = equals == std::string::npos ? root : root.substr(equals + 1);
    const std::string name = equals == std::string::npos ? "" : root.substr(0, equals + 1);
    args.insert(args.end(), {"--root", name + as_given(path, windows_form)});
  }
  return csv_rows(report(args));
}

// The figures of rows, without the key and the columns only several roots have.
std::vector<Row> figures_of(std::vector<Row> rows) {
  for (Row &row : rows) {
    for (const char *extra : {"root", "roots", "duty_cycle_pct"}) row.erase(extra);
  }
  return rows;
}

void make_root(const std::string &path, int seed) {
  const std::string command = std::string(QV_MAKE_SESSIONS) + " " + path +
                              " --sessions 12 --seed " + std::to_string(seed) +
                              " --days 20 >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

long long figure(const Row &row, const char *name) {
  return std::stoll(row.at(name));
}

// Roots that hold copies of one another change no figure; roots of other
// machines add theirs, folder names they share included.
TEST(HistoryFleet, EachSessionCountsOnceWhateverTheRootsHold) {
  TempDir dir;
  const std::string a = dir.at("a");
  const std::string b = dir.at("b");
  make_root(a, 1);
  make_root(b, 2);  // the same folder names, other sessions
  fs::copy(a, dir.at("a-copy"), fs::copy_options::recursive);
  for (const char *by : {"day", "project", "hour"}) {
    const auto alone = figures_of(rows_of({a}, by));
    EXPECT_EQ(figures_of(rows_of({a, a}, by)), alone) << by << ": the same root twice";
    EXPECT_EQ(figures_of(rows_of({a, dir.at("a-copy")}, by)), alone) << by << ": a copy";
    EXPECT_EQ(figures_of(rows_of({dir.at("a-copy"), a, a + "/sess-0003"}, by, true)), alone)
        << by << ": a copy and a folder inside the root";
    // Two machines: every figure of the total is the sum of theirs.
    const auto both = rows_of({"one=" + a, "two=" + b}, by, true);
    const auto other = rows_of({b}, by);
    for (const char *name : kFigures) {
      EXPECT_EQ(figure(both.back(), name), figure(alone.back(), name) + figure(other.back(), name))
          << by << " " << name;
    }
    EXPECT_EQ(both.back().at("roots"), "one; two") << by;
  }
  // By root: each machine's row is its own report's total.
  const auto by_root = rows_of({"one=" + a, "two=" + b}, "root");
  ASSERT_EQ(by_root.size(), 3U);
  for (const Row &row : std::vector<Row>(by_root.begin(), by_root.end() - 1)) {
    const Row total = rows_of({row.at("root") == "one" ? a : b}, "day").back();
    for (const char *name : kFigures) EXPECT_EQ(row.at(name), total.at(name)) << name;
  }
  // By session: each row says its root, and a session of both roots is listed
  // once.
  const auto sessions = rows_of({"one=" + a, "two=" + b, "copy=" + dir.at("a-copy")}, "session");
  EXPECT_EQ(sessions.size(), 12U + 12U + 1U);
  std::map<std::string, int> per_root;
  for (size_t i = 0; i + 1 < sessions.size(); ++i) ++per_root[sessions[i].at("root")];
  EXPECT_EQ(per_root["one"] + per_root["copy"], 12);
  EXPECT_EQ(per_root["two"], 12);
}

// A copy that went on after it was made counts, not the original; an older
// copy gives way to the newer original.
TEST(HistoryFleet, TheNewestCopyCounts) {
  TempDir dir;
  const std::string a = dir.at("a");
  const std::string later = dir.at("later");
  make_root(a, 3);
  fs::copy(a, later, fs::copy_options::recursive);
  const std::string log = later + "/sess-0005/events.jsonl";
  const std::string text = read_file(log);
  const size_t ts = text.rfind("\"ts\":\"");
  ASSERT_NE(ts, std::string::npos);
  // One more run an hour after the log's last line.
  std::tm last{};
  std::istringstream(text.substr(ts + 6, 19)) >> std::get_time(&last, "%Y-%m-%d %H:%M:%S");
  const long long end = timegm(&last);
  write_file(log, text + line(end + 3600, "agent_run_start") + line(end + 4200, "agent_idle"));
  set_modified_time(a + "/sess-0005/events.jsonl", 1800000000);
  set_modified_time(log, 1800000100);
  const auto newer = figures_of(rows_of({a, later}, "day"));
  EXPECT_EQ(newer, figures_of(rows_of({later}, "day")));
  EXPECT_NE(newer.back().at("active_sec"), rows_of({a}, "day").back().at("active_sec"));
  set_modified_time(log, 1700000000);
  EXPECT_EQ(figures_of(rows_of({later, a}, "day")).back(), figures_of(rows_of({a}, "day")).back());
}

// A missing root stops the run before anything is written: a total without
// one machine would be wrong without saying so.
TEST(HistoryFleet, AMissingRootStopsTheRun) {
  TempDir dir;
  make_root(dir.at("a"), 4);
  write_file(dir.at("out.csv"), "old\n");
  const ProgramResult result = history(
      {"--root", "one=" + dir.at("a"), "--root", "two=" + dir.at("gone"), "-o", dir.at("out.csv")});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(dir.at("gone") + " (two) does not exist"), std::string::npos)
      << result.err;
  EXPECT_EQ(read_file(dir.at("out.csv")), "old\n");
}

// Samples of one family, by their labels.
std::map<std::string, long long> family(const std::string &text, const std::string &name) {
  std::map<std::string, long long> samples;
  std::istringstream lines(text);
  for (std::string line_text; std::getline(lines, line_text);) {
    if (line_text.rfind("rudeze_duziruzuderi_" + name, 0) != 0) continue;
    const std::string rest = line_text.substr(20 + name.size());
    if (!rest.empty() && rest[0] != '{' && rest[0] != ' ') continue;  // a longer name
    const size_t space = line_text.rfind(' ');
    samples[line_text.substr(20 + name.size(), space - 20 - name.size())] =
        std::stoll(line_text.substr(space + 1));
  }
  return samples;
}

long long sum(const std::map<std::string, long long> &samples, const std::string &part = "") {
  long long total = 0;
  for (const auto &[labels, value] : samples) {
    if (labels.find(part) != std::string::npos) total += value;
  }
  return total;
}

// The exposition's families add up to the JSON report's total, per root and
// over the roots; every sample is "name{labels} value", with no timestamp.
TEST(HistoryFleet, PrometheusFiguresAreTheReportsFigures) {
  TempDir dir;
  make_root(dir.at("a"), 5);
  make_root(dir.at("b"), 6);
  const std::string both = report({"--root", "one=" + dir.at("a"), "--root",
                                   "two=" + as_given(dir.at("b"), true), "--format", "prometheus"});
  const std::string plain = report({"--root", dir.at("a"), "--format", "prometheus"});
  std::istringstream lines(both);
  for (std::string line_text; std::getline(lines, line_text);) {
    if (line_text[0] == '#') continue;
    EXPECT_EQ(std::count(line_text.begin() + static_cast<long>(line_text.rfind('}') + 1),
                         line_text.end(), ' '),
              1)
        << line_text;
  }
  EXPECT_EQ(plain.find("root=\""), std::string::npos) << "one root without a NAME has no label";
  const struct {
    const char *family;
    const char *figure;
  } pairs[] = {{"active_seconds", "active_sec"}, {"idle_seconds", "idle_sec"},
               {"wall_seconds", "wall_sec"},     {"turns", "turns"},
               {"tool_calls", "tool_calls"},     {"sessions", "sessions"}};
  const Row one = rows_of({dir.at("a")}, "day").back();
  const Row two = rows_of({dir.at("b")}, "day").back();
  for (const auto &pair : pairs) {
    const auto samples = family(both, pair.family);
    EXPECT_EQ(sum(samples, "root=\"one\""), figure(one, pair.figure)) << pair.family;
    EXPECT_EQ(sum(samples, "root=\"two\""), figure(two, pair.figure)) << pair.family;
    EXPECT_EQ(sum(samples), figure(one, pair.figure) + figure(two, pair.figure)) << pair.family;
    EXPECT_EQ(sum(family(plain, pair.family)), figure(one, pair.figure)) << pair.family;
  }
  const auto tokens = family(both, "tokens");
  EXPECT_EQ(sum(tokens, "kind=\"input\""),
            figure(one, "input_tokens") + figure(two, "input_tokens"));
  EXPECT_EQ(sum(tokens, "kind=\"cache_write\""),
            figure(one, "cache_creation_tokens") + figure(two, "cache_creation_tokens"));
  EXPECT_EQ(family(both, "info").size(), 2U);
  EXPECT_EQ(family(plain, "info").size(), 1U);
  EXPECT_EQ(family(both, "live_sessions").size(), 2U);
}

}  // namespace
