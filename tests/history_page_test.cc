// The history's hours and weekdays, its --output and its HTML page, run as a
// user runs them, natively and (through Wine) the Windows build.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "history_support.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *kSummed[] = {"wall_sec",      "active_sec",        "idle_sec",
                                   "turns",         "tool_calls",        "input_tokens",
                                   "output_tokens", "cache_read_tokens", "cache_creation_tokens"};
constexpr const char *kEpoch = "SOURCE_DATE_EPOCH=1765450800";  // 2025-12-11 11:00:00 UTC

// Each figure summed over the rows before the total.
std::map<std::string, long long> row_sums(
    const std::vector<std::map<std::string, std::string>> &rows) {
  std::map<std::string, long long> sums;
  for (size_t i = 0; i + 1 < rows.size(); ++i) {
    for (const char *name : kSummed) sums[name] += std::stoll(rows[i].at(name));
  }
  return sums;
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string> &more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::vector<std::string> names_in(const std::string &folder) {
  std::vector<std::string> names;
  for (const auto &entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Active from `from` to `to` in one run, as the agent logs it.
std::string active_between(long long from, long long to) {
  return line(from, "agent_run_start") + line(to, "agent_idle") + line(to + 1, "user_message");
}

// A root that crosses every boundary, with time on many days and hours.
void write_busy_root(const std::string &root) {
  ASSERT_EQ(std::system((std::string(QV_MAKE_SESSIONS) + " " + root +
                         " --sessions 30 --seed 7 --days 60 >/dev/null")
                            .c_str()),
            0);
  write_edge_sessions(root);
  // New York's clocks go back at 2026-11-01 06:00 UTC: a day of 25 hours.
  const long long nov1 = 1793505600;  // 2026-11-01 04:00:00 UTC, New York's midnight
  write_file(root + "/fall-back/events.jsonl", active_between(nov1 - 600, nov1 + 25 * 3600 + 600));
}

// Hours and weekdays split time as days do: every figure of their rows adds
// up to the day rows' total, in every zone and window, and each grouping lists
// all its rows in order, zeros included.
TEST(HistoryPage, HoursAndWeekdaysAddUpToTheDays) {
  TempDir root;
  write_busy_root(root.path());
  const std::vector<std::vector<std::string>> windows = {
      {}, {"--since", "2026-03-01", "--until", "2026-03-20"}, {"--since", "2026-10-30"}};
  const char *weekdays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                            "Friday", "Saturday", "Sunday"};
  for (const auto &zone : kZones) {
    if (running_windows_build() && zone[1] != "utc" && zone[1] != "local") continue;
    for (const auto &window : windows) {
      const auto base = with(with({"--root", root.path(), "--format", "csv"}, zone), window);
      const auto days = csv_rows(report(with(base, {"--by", "day"}), kNewYork));
      const auto hours = csv_rows(report(with(base, {"--by", "hour"}), kNewYork));
      const auto weekly = csv_rows(report(with(base, {"--by", "weekday"}), kNewYork));
      const std::string label = zone[1] + " " + (window.empty() ? "all" : window[1]);
      ASSERT_EQ(hours.size(), 25U) << label;
      ASSERT_EQ(weekly.size(), 8U) << label;
      for (int h = 0; h < 24; ++h) {
        EXPECT_EQ(hours[static_cast<size_t>(h)].at("hour"),
                  (h < 10 ? "0" : "") + std::to_string(h));
      }
      for (size_t d = 0; d < 7; ++d) EXPECT_EQ(weekly[d].at("weekday"), weekdays[d]) << label;
      EXPECT_EQ(hours.back(), [&] {
        auto total = days.back();
        total.erase("day");
        total["hour"] = "total";
        return total;
      }()) << label;
      EXPECT_EQ(weekly.back().at("sessions"), days.back().at("sessions")) << label;
      const auto day_sums = row_sums(days);
      EXPECT_EQ(row_sums(hours), day_sums) << label;
      EXPECT_EQ(row_sums(weekly), day_sums) << label;
      for (const char *name : kSummed) {
        EXPECT_EQ(std::to_string(day_sums.at(name)), days.back().at(name)) << label << " " << name;
      }
    }
  }
}

// A daylight-saving day has 23 or 25 hours: the hour the clocks skip has no
// time, the hour they repeat has two hours of it.
TEST(HistoryPage, HoursFollowTheClockOnDaylightSavingDays) {
  TempDir root;
  write_busy_root(root.path());
  const struct {
    const char *day;
    const char *odd_hour;
    long long odd_wall;
    long long total;
  } days[] = {{"2026-03-08", "02", 0, 23 * 3600}, {"2026-11-01", "01", 7200, 25 * 3600}};
  // Both days are Sundays.
  for (const auto &day : days) {
    TempDir alone;
    const char *name = std::string(day.day) == "2026-03-08" ? "dst-day" : "fall-back";
    fs::copy(root.at(name), alone.at(name), fs::copy_options::recursive);
    const auto rows = csv_rows(report({"--root", alone.path(), "--by", "hour", "--tz", "local",
                                       "--format", "csv", "--since", day.day, "--until", day.day},
                                      kNewYork));
    ASSERT_EQ(rows.size(), 25U) << day.day;
    for (size_t h = 0; h < 24; ++h) {
      const long long want = rows[h].at("hour") == day.odd_hour ? day.odd_wall : 3600;
      EXPECT_EQ(rows[h].at("wall_sec"), std::to_string(want)) << day.day << " " << h;
      EXPECT_EQ(rows[h].at("active_sec"), std::to_string(want)) << day.day << " " << h;
    }
    EXPECT_EQ(rows.back().at("wall_sec"), std::to_string(day.total)) << day.day;
    const auto weekly = csv_rows(report({"--root", alone.path(), "--by", "weekday", "--tz", "local",
                                         "--format", "csv", "--since", day.day, "--until", day.day},
                                        kNewYork));
    ASSERT_EQ(weekly.size(), 8U) << day.day;
    for (size_t d = 0; d < 7; ++d) {
      EXPECT_EQ(weekly[d].at("wall_sec"), d == 6 ? std::to_string(day.total) : "0") << day.day;
    }
  }
}

// --output writes the same report as standard output would, replaces the file
// only when it is complete, and on any failure leaves it and its folder as
// they were.
TEST(HistoryPage, OutputReplacesTheFileWholeOrNotAtAll) {
  const std::string samples = QV_SOURCE_DIR "/examples/sessions";
  TempDir dir;
  const std::string target = dir.at("report.out");
  for (const std::vector<std::string> &form : std::vector<std::vector<std::string>>{
           {"-o", target}, {"-o" + target}, {"--output", target}, {"--output=" + target}}) {
    for (const char *format : {"csv", "json", "table", "html"}) {
      write_file(target, "old report\n");
      const std::vector<std::string> args = {"--root", samples, "--format", format, "--tz", "utc"};
      const ProgramResult written = history(with(args, form), {kEpoch});
      EXPECT_EQ(written.status, 0) << format << " " << form[0] << written.err;
      EXPECT_EQ(written.out, "") << format;
      EXPECT_EQ(read_file(target), report(args, {kEpoch})) << format << " " << form[0];
      EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"report.out"}) << format;
    }
  }
  const struct {
    std::vector<std::string> args;
    int status;
    const char *says;
  } failures[] = {
      {{"--root", dir.at("missing"), "-o", target}, 1, "does not exist"},
      {{"--root", samples, "-o", dir.at("no-folder/report.out")}, 1, "no-folder"},
      {{"--root", samples, "--by", "minute", "-o", target}, 2, "minute"},
  };
  for (const auto &failure : failures) {
    write_file(target, "old report\n");
    const ProgramResult result = history(failure.args);
    EXPECT_EQ(result.status, failure.status) << failure.says;
    EXPECT_NE(result.err.find(failure.says), std::string::npos) << result.err;
    EXPECT_EQ(read_file(target), "old report\n") << failure.says;
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"report.out"}) << failure.says;
  }
  if (running_windows_build()) return;
  // A write that fails midway: a file size limit of 8 KB, far below the page.
  write_file(target, "old report\n");
  const std::string command = "ulimit -f 16; exec " +
                              std::string(std::getenv("QV_TEST_HISTORY_PROGRAM")) + " --root " +
                              samples + " --format html -o " + target + " 2>" + dir.at("err.txt");
  const int status = std::system(("sh -c '" + command + "'").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(read_file(dir.at("err.txt")).find("cannot write " + target), std::string::npos)
      << read_file(dir.at("err.txt"));
  EXPECT_EQ(read_file(target), "old report\n");
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"err.txt", "report.out"}));
}

// Whether `text` is all UTF-8.
bool is_utf8(const std::string &text) {
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const size_t extra = byte < 0x80                    ? 0
                         : byte >= 0xC2 && byte <= 0xDF ? 1
                         : byte >= 0xE0 && byte <= 0xEF ? 2
                         : byte >= 0xF0 && byte <= 0xF4 ? 3
                                                        : 9;
    if (extra == 9 || i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// The page: one document that asks for nothing, with every name escaped for
// where it stands, the same bytes for the same data, and (under Wine) the same
// bytes as the native program's.
TEST(HistoryPage, PageIsWholeSelfContainedAndReproducible) {
  TempDir root;
  fs::copy(QV_SOURCE_DIR "/examples/sessions", root.path(), fs::copy_options::recursive);
  write_file(
      root.at("hostile/meta.json"),
      "{\"cwd\":\"</script><script>alert(1)</script>&amp;\\\"'\\u0007\",\"model\":\"<b>m</b>\","
      "\"profile\":\"p\xff\\u0085\xef\xb7\x90 \xc3\xa9\"}");
  write_file(root.at("hostile/events.jsonl"), active_between(kT, kT + 600));
  const std::vector<std::string> args = {"--root", root.path(), "--format", "html", "--tz", "utc"};
  const std::string page = report(args, {kEpoch});
  EXPECT_EQ(report(args, {kEpoch}), page);
  EXPECT_EQ(page.rfind("<!DOCTYPE html>\n<html lang=\"en\">", 0), 0U);
  EXPECT_EQ(page.substr(page.size() - 8), "</html>\n");
  EXPECT_TRUE(is_utf8(page));
  EXPECT_NE(page.find("made 2025-12-11 11:00:00 UTC"), std::string::npos);
  // Nothing to fetch: no script but the data, no source, link or import.
  EXPECT_EQ(count_of(page, "<script"), 1U);
  for (const char *fetches : {"src=", "href=", "@import", "<link", "<img", "<iframe"}) {
    EXPECT_EQ(page.find(fetches), std::string::npos) << fetches;
  }
  EXPECT_EQ(count_of(page, "url("), count_of(page, "url(#idle-hatch)"));
  // Names from the agent's files never become markup.
  EXPECT_EQ(page.find("<b>m</b>"), std::string::npos);
  EXPECT_EQ(page.find("<script>alert"), std::string::npos);
  EXPECT_NE(page.find("&lt;b&gt;m&lt;/b&gt;"), std::string::npos);
  const size_t data = page.find("<script type=\"application/json\" id=\"history-data\">");
  ASSERT_NE(data, std::string::npos);
  const size_t data_end = page.find("</script>", data);
  EXPECT_EQ(page.substr(data, data_end - data).find("</"), std::string::npos);
  EXPECT_NE(page.find("\\u003cb>m\\u003c/b>", data), std::string::npos);
  for (const char *control : {"\x07", "\xc2\x85"}) {
    EXPECT_EQ(page.find(control), std::string::npos) << "control bytes are dropped";
  }
  // An empty root still makes a whole page.
  TempDir empty;
  const std::string blank = report({"--root", empty.path(), "--format", "html"}, {kEpoch});
  EXPECT_NE(blank.find("no activity"), std::string::npos);
  EXPECT_EQ(blank.substr(blank.size() - 8), "</html>\n");
  const ProgramResult bad = history(with(args, {}), {"SOURCE_DATE_EPOCH=soon"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  const char *native = std::getenv("QV_TEST_NATIVE_HISTORY_PROGRAM");
  if (!running_windows_build() || native == nullptr) return;
  TempDir out;
  const std::string command = std::string("env TZ=UTC ") + kEpoch + " " + native + " --root " +
                              root.path() + " --format html --tz utc -o " + out.at("native.html");
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(read_file(out.at("native.html")) == page)
      << "the .exe's page differs from the native one";
}

}  // namespace
