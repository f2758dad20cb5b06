#include "report/json_out.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

std::string duration(int64_t seconds) {
  char text[64];
  format_duration(seconds, text);
  return text;
}

TEST(JsonHeader, IsTheExactBlock) {
  const std::string header = capture_stdout([] { json_header(); });
  EXPECT_EQ(header,
            "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
            "X-Content-Type-Options: nosniff\r\n\r\n");
  EXPECT_EQ(header.size(), 107U);
}

TEST(JsonStr, EscapesDropsAndPassesThrough) {
  EXPECT_EQ(capture_stdout([] { json_str(""); }), "\"\"");
  EXPECT_EQ(capture_stdout([] { json_str("a\"b\\c\nd\re\tf/"); }), "\"a\\\"b\\\\c\\nd\\re\\tf/\"");
  std::string controls;
  for (int c = 1; c < 0x20; ++c) {
    if (c != '\n' && c != '\r' && c != '\t') controls += static_cast<char>(c);
  }
  controls += "\x7F";
  const std::string text = "x" + controls + "\xC3\xA9\xFF" + "y";
  EXPECT_EQ(capture_stdout([&] { json_str(text.c_str()); }), "\"x\xC3\xA9\xFFy\"");
}

TEST(FormatDuration, PicksTheLargestUnit) {
  EXPECT_EQ(duration(86399), "23h 59m 59s");
  EXPECT_EQ(duration(86400), "1d 00h 00m");
  EXPECT_EQ(duration(90061), "1d 01h 01m");
  EXPECT_EQ(duration(3599), "59m 59s");
  EXPECT_EQ(duration(3600), "01h 00m 00s");
  EXPECT_EQ(duration(3661), "01h 01m 01s");
  EXPECT_EQ(duration(60), "01m 00s");
  EXPECT_EQ(duration(61), "01m 01s");
  EXPECT_EQ(duration(59), "59s");
  EXPECT_EQ(duration(0), "0s");
  EXPECT_EQ(duration(-5), "0s");
  EXPECT_EQ(duration(INT64_MIN), "0s");
  EXPECT_EQ(duration(INT64_MAX), "106751991167300d 15h 30m");
}

TEST(DurationMembers, SecondsThenTheirText) {
  EXPECT_EQ(capture_stdout([] { json_duration_members(",", "idle", 61); }),
            ",\"idle_sec\":61,\"idle_fmt\":\"01m 01s\"");
}

}  // namespace
