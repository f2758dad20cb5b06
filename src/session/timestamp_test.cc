#include "session/timestamp.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseEventTime, AcceptsTheAgentsFormat) {
  EXPECT_EQ(parse_event_time("2024-01-01 00:00:00"), 1704067200);
  EXPECT_EQ(parse_event_time("1970-01-01 00:00:01"), 1);
  EXPECT_EQ(parse_event_time("2024-01-01 00:00:00.250+02:00"), 1704067200);
  EXPECT_EQ(parse_event_time("2024-01-01  \t00:00:00"), 1704067200);
  EXPECT_EQ(parse_event_time("2024-01-01 00:00:00Z"), 1704067200);
  EXPECT_EQ(parse_event_time(" 2024-01-01 +00:00:-1"), 1704067199);
  // Out-of-range fields roll over; only month and day are checked.
  EXPECT_EQ(parse_event_time("2024-02-31 00:00:00"), parse_event_time("2024-03-02 00:00:00"));
  EXPECT_EQ(parse_event_time("2024-01-01 24:00:00"), parse_event_time("2024-01-02 00:00:00"));
  EXPECT_EQ(parse_event_time("2000-02-29 12:00:00"), 951825600);
  EXPECT_EQ(parse_event_time("1900-03-01 00:00:00"), 0);  // before 1970
}

TEST(ParseEventTime, SkipsWhatScanfWouldNotRead) {
  EXPECT_EQ(parse_event_time("2024-01-01T00:00:00Z"), 0);
  EXPECT_EQ(parse_event_time("2024-1-1 0:0:0"), 0);  // shorter than 19 bytes
  EXPECT_EQ(parse_event_time("1970-01-01 00:00:00"), 0);
  EXPECT_EQ(parse_event_time("2024-13-01 00:00:00"), 0);
  EXPECT_EQ(parse_event_time("2024-00-01 00:00:00"), 0);
  EXPECT_EQ(parse_event_time("2024-01-32 00:00:00"), 0);
  EXPECT_EQ(parse_event_time("2024-01-00 00:00:00"), 0);
  EXPECT_EQ(parse_event_time("2024 -01-01 00:00:00"), 0);
  EXPECT_EQ(parse_event_time("2024-01-01 00:00 :00"), 0);
  EXPECT_EQ(parse_event_time("2024-01-01 00:00:xx"), 0);
  EXPECT_EQ(parse_event_time("not a time at all!!"), 0);
}

TEST(ScanEventTime, CountsNumbersAndSaturates) {
  int32_t f[6] = {};
  EXPECT_EQ(scan_event_time("2024-01-01T00:00:00", f), 3);
  EXPECT_EQ(scan_event_time("99999999999-01-01 00:00:00", f), 6);
  EXPECT_EQ(f[0], INT32_MAX);
  EXPECT_EQ(scan_event_time("-99999999999999999999999-01-01 00:00:00", f), 6);
  EXPECT_EQ(f[0], INT32_MIN);
  // Extreme fields stay within 64-bit arithmetic.
  EXPECT_GT(parse_event_time("2147483647-12-31 2147483647:2147483647:2147483647"), 0);
  EXPECT_EQ(parse_event_time("-2147483648-01-01 00:00:00"), 0);
}

TEST(EpochFromCivil, MatchesKnownDates) {
  EXPECT_EQ(epoch_from_civil(1970, 1, 1, 0, 0, 0), 0);
  EXPECT_EQ(epoch_from_civil(2024, 1, 1, 0, 0, 0), 1704067200);
  EXPECT_EQ(epoch_from_civil(1969, 12, 31, 23, 59, 59), -1);
  EXPECT_EQ(epoch_from_civil(-1, 3, 1, 0, 0, 0), -62193657600);
}

}  // namespace

namespace {

// Every text that the fixed layout reads must give what the general scan gives.
TEST(ParseEventTime, FixedLayoutAgreesWithTheScan) {
  const char *const texts[] = {"2024-01-01 00:00:00",  "2024-01-01 00:00:001",
                               "2024-01-01 00:00:00Z", "2024-12-31 23:59:59.9",
                               "0000-01-01 00:00:00",  "9999-12-31 99:99:99",
                               "2024-02-30 24:60:60",  "2024-01-01 00:00:0 5"};
  for (const char *text : texts) {
    int32_t f[6] = {};
    int64_t expected = 0;
    if (scan_event_time(text, f) == 6 && f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= 31) {
      expected = epoch_from_civil(f[0], f[1], f[2], f[3], f[4], f[5]);
      if (expected < 0) expected = 0;
    }
    EXPECT_EQ(parse_event_time(text), expected) << text;
  }
  EXPECT_EQ(parse_event_time("2024-01-01 00:00:001"), 1704067201);
}

TEST(FixedEventTime, WordTestAgreesWithTheByteTest) {
  // Every byte value at every place of a time in the usual layout.
  const std::string good = "2024-03-05 06:07:08";
  ASSERT_TRUE(has_fixed_event_time(good.c_str()));
  ASSERT_TRUE(is_fixed_event_time(good.c_str()));
  int accepted = 0;
  for (size_t at = 0; at < good.size(); ++at) {
    for (int byte = 0; byte < 256; ++byte) {
      std::string text = good;
      text[at] = static_cast<char>(byte);
      const bool by_word = has_fixed_event_time(text.c_str());
      EXPECT_EQ(by_word, is_fixed_event_time(text.c_str())) << at << " " << byte;
      accepted += by_word ? 1 : 0;
    }
  }
  // Ten digits at each of the 14 digit places, the one separator at the 5 others.
  EXPECT_EQ(accepted, 14 * 10 + 5);
  // The time read in place is the one the general reading gives.
  for (const char *ts : {"2024-03-05 06:07:08", "1970-01-01 00:00:01", "1970-01-01 00:00:00",
                         "2024-02-31 23:59:60", "2024-13-01 00:00:00", "2024-00-10 00:00:00",
                         "9999-12-31 99:99:99", "0000-03-01 00:00:00"}) {
    int32_t f[6] = {};
    ASSERT_EQ(scan_event_time(ts, f), 6);
    const bool in_range = f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= 31;
    const int64_t t = in_range ? epoch_from_civil(f[0], f[1], f[2], f[3], f[4], f[5]) : 0;
    EXPECT_EQ(fixed_event_time(ts), t > 0 ? t : 0) << ts;
    EXPECT_EQ(parse_event_time(ts), t > 0 ? t : 0) << ts;
  }
}

}  // namespace
