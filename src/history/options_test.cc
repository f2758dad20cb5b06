#include "history/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
  int ok;
  HistoryOptions options;
  std::string error;
  std::vector<std::pair<std::string, std::string>> roots;  // name, path
};

Parsed parse(std::vector<std::string> words) {
  words.insert(words.begin(), "rudeze_duziruzuderi-history");
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  Parsed parsed{};
  char error[512];
  parsed.ok = parse_history_options(static_cast<int>(argv.size()), argv.data(), &parsed.options,
                                    error, sizeof error);
  parsed.error = error;
  // The pointers into the words do not outlive them.
  for (int i = 0; i < parsed.options.root_count; ++i) {
    parsed.roots.emplace_back(parsed.options.roots[i].name, parsed.options.roots[i].path);
    parsed.options.roots[i] = {nullptr, nullptr};
  }
  parsed.options.profile = nullptr;
  parsed.options.model = nullptr;
  parsed.options.project = nullptr;
  return parsed;
}

TEST(HistoryOptions, DefaultsAndBothValueForms) {
  const Parsed none = parse({});
  ASSERT_EQ(none.ok, 1);
  EXPECT_EQ(none.options.by, GroupBy::kDay);
  EXPECT_EQ(none.options.format, OutputFormat::kTable);
  EXPECT_EQ(none.options.zone.kind, ZoneKind::kLocal);
  EXPECT_STREQ(none.options.zone_text, "local");
  EXPECT_FALSE(none.options.has_since || none.options.has_until);

  for (const auto &words : std::vector<std::vector<std::string>>{
           {"--by", "week", "--tz", "+05:30", "--format", "csv", "--since", "2026-12-01"},
           {"--by=week", "--tz=+05:30", "--format=csv", "--since=2026-12-01"},
           {"--b", "week", "--t=+05:30", "--form", "csv", "--si=2026-12-01"}}) {
    const Parsed p = parse(words);
    ASSERT_EQ(p.ok, 1) << p.error;
    EXPECT_EQ(p.options.by, GroupBy::kWeek);
    EXPECT_EQ(p.options.format, OutputFormat::kCsv);
    EXPECT_EQ(p.options.zone.kind, ZoneKind::kFixed);
    EXPECT_EQ(p.options.zone.offset, 19800);
    EXPECT_STREQ(p.options.zone_text, "+05:30");
    EXPECT_TRUE(p.options.has_since);
    EXPECT_EQ(p.options.since_day, days_from_civil(2026, 12, 1));
    EXPECT_STREQ(p.options.since_text, "2026-12-01");
  }
  // The last of a repeated option wins; a value may begin with a dash.
  EXPECT_EQ(parse({"--by", "day", "--by", "month"}).options.by, GroupBy::kMonth);
  EXPECT_EQ(parse({"--tz", "-08:00"}).options.zone.offset, -28800);
  EXPECT_EQ(parse({"--tz", "UTC"}).options.zone.kind, ZoneKind::kUtc);
  EXPECT_EQ(parse({"--tz", "+00:00"}).options.zone.kind, ZoneKind::kUtc);
  EXPECT_EQ(parse({"--tz", "+14:00"}).options.zone.offset, 14 * 3600);
  EXPECT_TRUE(parse({"--help"}).options.help);
  EXPECT_TRUE(parse({"--vers"}).options.version);
  EXPECT_EQ(parse({"--project="}).ok, 1);
  EXPECT_STREQ(parse({"-o", "r.html"}).options.output, "r.html");
  EXPECT_STREQ(parse({"-or.html"}).options.output, "r.html");
  EXPECT_STREQ(parse({"--out=-x"}).options.output, "-x");
  EXPECT_EQ(parse({"--by", "weekday"}).options.by, GroupBy::kWeekday);
  // Roots as often as given, named or by their paths; "=" in a folder's
  // name stays part of the path.
  const Parsed roots = parse({"--root", "/s/a", "--root=laptop=/mnt/l", "--root", "ws=C:\\s",
                              "--root", "./x=y", "--root", "C:\\a=b"});
  ASSERT_EQ(roots.ok, 1) << roots.error;
  const std::vector<std::pair<std::string, std::string>> want = {{"/s/a", "/s/a"},
                                                                 {"laptop", "/mnt/l"},
                                                                 {"ws", "C:\\s"},
                                                                 {"./x=y", "./x=y"},
                                                                 {"C:\\a=b", "C:\\a=b"}};
  EXPECT_EQ(roots.roots, want);
  EXPECT_FALSE(parse({"--root", "/a"}).options.root_named);
  const Parsed both = parse({"--since", "2026-12-10", "--until", "2026-12-10"});
  EXPECT_EQ(both.ok, 1) << both.error;
  EXPECT_EQ(both.options.until_day, both.options.since_day);
}

TEST(HistoryOptions, EveryBadInputIsNamedWithTheAcceptedForms) {
  const struct {
    std::vector<std::string> words;
    std::vector<std::string> message;  // pieces the one line must hold
  } cases[] = {
      {{"--by", "minute"}, {"'minute'", "--by", "day, week, month, hour, weekday, profile"}},
      {{"--by"}, {"'--by'", "needs a value", "day, week"}},
      {{"--since", "2026-13-01"}, {"'2026-13-01'", "--since", "YYYY-MM-DD"}},
      {{"--until", "2026-02-29"}, {"'2026-02-29'", "--until", "YYYY-MM-DD"}},
      {{"--since", "2026-1-01"}, {"'2026-1-01'", "YYYY-MM-DD"}},
      {{"--since=0000-01-01"}, {"'0000-01-01'"}},
      {{"--tz", "+25:00"}, {"'+25:00'", "--tz", "local, utc", "+05:30"}},
      {{"--tz", "+14:01"}, {"'+14:01'"}},
      {{"--tz", "+05:60"}, {"'+05:60'"}},
      {{"--tz", "0530"}, {"'0530'"}},
      {{"--tz", "Europe/Berlin"}, {"'Europe/Berlin'"}},
      {{"--format", "xml"}, {"'xml'", "table, json, csv, html or prometheus"}},
      {{"--output="}, {"--output", "a file"}},
      {{"-o"}, {"'-o'", "needs a value"}},
      {{"--frobnicate"}, {"'--frobnicate'", "--root, --by"}},
      {{"-x"}, {"'-x'", "--root"}},
      {{"--pro", "x"}, {"'--pro'", "ambiguous", "--profile", "--project"}},
      {{"--help=yes"}, {"'--help'", "takes no value"}},
      {{"sessions"}, {"'sessions'", "options only"}},
      {{"--", "--by"}, {"'--by'", "options only"}},
      {{"--root"}, {"'--root'", "needs a value"}},
      {{"--root", "laptop="}, {"'laptop='", "NAME=FOLDER"}},
      {{"--root="}, {"--root ''", "a folder"}},
      {{"--since", "2026-12-10", "--until", "2026-12-01"}, {"2026-12-10", "after", "2026-12-01"}},
  };
  for (const auto &c : cases) {
    const Parsed p = parse(c.words);
    EXPECT_EQ(p.ok, 0) << c.words[0];
    EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
    for (const std::string &piece : c.message) {
      EXPECT_NE(p.error.find(piece), std::string::npos) << p.error << " lacks " << piece;
    }
  }
}

}  // namespace
