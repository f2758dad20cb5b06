#include "history_writers/html_text.h"

#include <gtest/gtest.h>

#include <string>

#include "history_writers/svg_charts.h"
#include "test_support.h"

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(HtmlText, EscapesForTextAndAttributesAndKeepsTheDocumentUtf8) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain /src/a", "plain /src/a"},
      {"&<>\"'", "&amp;&lt;&gt;&quot;&#39;"},
      {"</script><b>", "&lt;/script&gt;&lt;b&gt;"},
      {"a\tb\nc\rd", "a b c d"},
      {"\x01x\x1f\x7fy", "xy"},
      {"c1 \xC2\x85 dropped", "c1  dropped"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"bad \xFF", "bad " + kReplacement},
      {"overlong \xC0\xAF", "overlong " + kReplacement + kReplacement},
      {"surrogate \xED\xA0\x80", "surrogate " + kReplacement + kReplacement + kReplacement},
      {"cut \xE2\x82", "cut " + kReplacement + kReplacement},
      {"nonchar \xEF\xB7\x90 \xEF\xBF\xBE", "nonchar " + kReplacement + " " + kReplacement},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(capture_stdout([&] { html_text(c.in.c_str()); }), c.out) << c.in;
  }
}

TEST(HtmlText, TailsKeepTheEndOfLongNames) {
  const struct {
    const char *in;
    int max;
    std::string out;
  } cases[] = {
      {"/home/dev/src/project", 30, "/home/dev/src/project"},
      {"/home/dev/src/project", 10,
       "\xE2\x80\xA6"
       "c/project"},
      {"/\xC3\xA9\xC3\xA9\xC3\xA9/ab", 4,
       "\xE2\x80\xA6"
       "/ab"},
      {"<<<<<<<<", 3, "\xE2\x80\xA6&lt;&lt;"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(capture_stdout([&] { html_text_tail(c.in, c.max); }), c.out) << c.in;
  }
}

TEST(HtmlText, DataStringsCannotEndTheirBlock) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"</script>", "\"\\u003c/script>\""},
      {"<!-- x", "\"\\u003c!-- x\""},
      {"say \"hi\" \\", "\"say \\\"hi\\\" \\\\\""},
      {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
      {"\x01\x7f", "\"\""},
      {"\xC2\x85", "\"\\u0085\""},
      {"\xEF\xBF\xBE", "\"\\ufffe\""},
      {"\xF0\x9F\xBF\xBF", "\"\\ud83f\\udfff\""},
      {"\xFF", "\"" + kReplacement + "\""},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(capture_stdout([&] { page_json_str(c.in.c_str()); }), c.out) << c.in;
  }
}

TEST(SvgCharts, AxisTicksInWords) {
  const struct {
    int64_t seconds;
    const char *words;
  } cases[] = {{0, "0"},         {45, "45s"},  {60, "1m"},    {90, "90s"},      {1800, "30m"},
               {5400, "1h 30m"}, {7200, "2h"}, {86400, "1d"}, {90000, "1d 1h"}, {3 * 86400, "3d"}};
  for (const auto &c : cases) {
    char words[32];
    time_words(c.seconds, words, sizeof words);
    EXPECT_STREQ(words, c.words) << c.seconds;
  }
}

// One outlier takes the top level alone; the rest spread over the others,
// and every threshold is a whole minute the legend can say.
TEST(SvgCharts, HeatLevelsAreQuartilesInWholeMinutes) {
  const int64_t values[] = {0, 0, 61, 120, 170, 240, 36000};
  const HeatScale scale = heat_scale(values, 7);
  EXPECT_EQ(scale.thresholds[0], 120);
  EXPECT_EQ(scale.thresholds[1], 180);
  EXPECT_EQ(scale.thresholds[2], 240);
  EXPECT_EQ(scale.most, 36000);
  const int levels[] = {0, 0, 1, 1, 2, 3, 4};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(heat_level(scale, values[i]), levels[i]) << values[i];
  const HeatScale none = heat_scale(values, 2);
  EXPECT_EQ(heat_level(none, 0), 0);
  EXPECT_EQ(none.thresholds[2], 60);
}

}  // namespace
