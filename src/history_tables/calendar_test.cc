#include "history_tables/calendar.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

int64_t utc(int64_t year, int64_t month, int64_t day, int64_t hour = 0, int64_t minute = 0) {
  return days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60;
}

std::string label(Period period, int64_t year, int64_t month, int64_t day) {
  char text[32];
  format_period(period, period_of_day(period, days_from_civil(year, month, day)), text,
                sizeof text);
  return text;
}

// The system's zone for the rest of one test, as the TZ variable names it.
class LocalZone {
 public:
  explicit LocalZone(const char *name) {
    const char *old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", name, 1);
    tzset();
  }
  ~LocalZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  LocalZone(const LocalZone &) = delete;
  LocalZone &operator=(const LocalZone &) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

TEST(Calendar, CivilDatesRoundTripAndKnownDays) {
  EXPECT_EQ(days_from_civil(1970, 1, 1), 0);
  EXPECT_EQ(days_from_civil(2024, 1, 1), 19723);
  EXPECT_EQ(days_from_civil(1969, 12, 31), -1);
  for (int64_t day = -800000; day <= 800000; day += 37) {
    const CivilDate date = civil_from_days(day);
    ASSERT_EQ(days_from_civil(date.year, date.month, date.day), day);
    ASSERT_TRUE(is_valid_date(date.year, date.month, date.day));
  }
  EXPECT_TRUE(is_valid_date(2000, 2, 29));
  EXPECT_TRUE(is_valid_date(2024, 2, 29));
  EXPECT_FALSE(is_valid_date(2026, 2, 29));
  EXPECT_FALSE(is_valid_date(1900, 2, 29));
  EXPECT_FALSE(is_valid_date(2026, 4, 31));
  EXPECT_FALSE(is_valid_date(2026, 13, 1));
  EXPECT_FALSE(is_valid_date(2026, 0, 10));
}

TEST(Calendar, LabelsOfDaysIsoWeeksAndMonths) {
  const struct {
    int64_t year, month, day;
    const char *week;
  } weeks[] = {
      {2026, 11, 30, "2026-W49"}, {2026, 12, 6, "2026-W49"},  {2026, 12, 7, "2026-W50"},
      {2026, 12, 28, "2026-W53"}, {2026, 12, 31, "2026-W53"}, {2027, 1, 3, "2026-W53"},
      {2027, 1, 4, "2027-W01"},   {2021, 1, 3, "2020-W53"},   {2024, 12, 30, "2025-W01"},
      {2025, 12, 29, "2026-W01"}, {1970, 1, 1, "1970-W01"},   {1969, 12, 29, "1970-W01"},
      {1969, 12, 28, "1969-W52"}, {2000, 1, 2, "1999-W52"},   {2004, 12, 31, "2004-W53"},
  };
  for (const auto &w : weeks) {
    EXPECT_EQ(label(Period::kWeek, w.year, w.month, w.day), w.week)
        << w.year << "-" << w.month << "-" << w.day;
  }
  EXPECT_EQ(label(Period::kDay, 2026, 11, 30), "2026-11-30");
  EXPECT_EQ(label(Period::kDay, 1969, 12, 31), "1969-12-31");
  EXPECT_EQ(label(Period::kMonth, 2026, 11, 30), "2026-11");
  EXPECT_EQ(label(Period::kMonth, 2027, 1, 1), "2027-01");
  EXPECT_EQ(label(Period::kMonth, 1969, 12, 31), "1969-12");
  // Every week starts on a Monday and holds seven days; months their own days.
  for (int64_t number = -60; number < 2900; number += 7) {
    const int64_t first = period_first_day(Period::kWeek, number);
    EXPECT_EQ((first % 7 + 7 + 3) % 7, 0);  // day 0 was a Thursday
    EXPECT_EQ(period_of_day(Period::kWeek, first), number);
    EXPECT_EQ(period_of_day(Period::kWeek, first + 6), number);
    EXPECT_EQ(period_of_day(Period::kWeek, first + 7), number + 1);
    const int64_t month_first = period_first_day(Period::kMonth, number);
    EXPECT_EQ(civil_from_days(month_first).day, 1);
    EXPECT_EQ(period_of_day(Period::kMonth, month_first - 1), number - 1);
  }
}

TEST(Calendar, FixedOffsetsOfBothSignsMoveMidnight) {
  const struct {
    Zone zone;
    int64_t instant;  // UTC
    const char *day;  // its local day
    int64_t start;    // that day's first instant, UTC
  } cases[] = {
      {{ZoneKind::kUtc, 0}, utc(2026, 11, 30, 23, 59), "2026-11-30", utc(2026, 11, 30)},
      {{ZoneKind::kFixed, 19800},
       utc(2026, 11, 30, 18, 29),
       "2026-11-30",
       utc(2026, 11, 29, 18, 30)},
      {{ZoneKind::kFixed, 19800},
       utc(2026, 11, 30, 18, 30),
       "2026-12-01",
       utc(2026, 11, 30, 18, 30)},
      {{ZoneKind::kFixed, -28800}, utc(2026, 12, 1, 7, 59), "2026-11-30", utc(2026, 11, 30, 8)},
      {{ZoneKind::kFixed, -28800}, utc(2026, 12, 1, 8), "2026-12-01", utc(2026, 12, 1, 8)},
  };
  for (const auto &c : cases) {
    Calendar calendar;
    calendar_init(&calendar, c.zone, Period::kDay);
    const Bucket bucket = bucket_at(&calendar, c.instant);
    char text[32];
    format_period(Period::kDay, bucket.number, text, sizeof text);
    EXPECT_EQ(std::string(text), c.day) << c.zone.offset;
    EXPECT_EQ(bucket.start, c.start) << c.zone.offset;
    EXPECT_EQ(bucket.end, c.start + 86400) << c.zone.offset;
  }
  char text[32];
  format_local_time({ZoneKind::kFixed, -28800}, utc(2026, 12, 1, 7, 5) + 9, text, sizeof text);
  EXPECT_STREQ(text, "2026-11-30 23:05:09");
  format_local_time({ZoneKind::kFixed, 19800}, utc(2026, 12, 31, 20), text, sizeof text);
  EXPECT_STREQ(text, "2027-01-01 01:30:00");
}

TEST(Calendar, DaylightSavingDaysHave23Or25Hours) {
  const struct {
    const char *zone;
    int64_t year, month, day;
    int64_t start;  // UTC
    int64_t hours;
  } cases[] = {
      {"America/New_York", 2026, 3, 8, utc(2026, 3, 8, 5), 23},
      {"America/New_York", 2026, 11, 1, utc(2026, 11, 1, 4), 25},
      {"America/New_York", 2026, 11, 2, utc(2026, 11, 2, 5), 24},
      {"Europe/Berlin", 2026, 3, 29, utc(2026, 3, 28, 23), 23},
      {"Europe/Berlin", 2026, 10, 25, utc(2026, 10, 24, 22), 25},
      {"Australia/Sydney", 2026, 4, 5, utc(2026, 4, 4, 13), 25},
      // Clocks that went from 00:00 straight to 01:00: the day began at 01:00.
      {"America/Sao_Paulo", 2018, 11, 4, utc(2018, 11, 4, 3), 23},
  };
  for (const auto &c : cases) {
    const LocalZone zone(c.zone);
    Calendar calendar;
    calendar_init(&calendar, {ZoneKind::kLocal, 0}, Period::kDay);
    const Bucket bucket = bucket_at(&calendar, c.start + 3600 * 5);
    char text[32];
    format_period(Period::kDay, bucket.number, text, sizeof text);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%04lld-%02lld-%02lld", static_cast<long long>(c.year),
                  static_cast<long long>(c.month), static_cast<long long>(c.day));
    EXPECT_STREQ(text, expected) << c.zone;
    EXPECT_EQ(bucket.start, c.start) << c.zone << " " << expected;
    EXPECT_EQ(bucket.end - bucket.start, c.hours * 3600) << c.zone << " " << expected;
    // The instants on both sides of each boundary land in the right buckets.
    EXPECT_EQ(bucket_at(&calendar, bucket.start - 1).number, bucket.number - 1) << c.zone;
    EXPECT_EQ(bucket_at(&calendar, bucket.end - 1).number, bucket.number) << c.zone;
    EXPECT_EQ(bucket_at(&calendar, bucket.end).number, bucket.number + 1) << c.zone;
  }
}

// Hours follow the clock: the hour the clocks skip has no instant, the hour
// they repeat lasts two.
TEST(Calendar, HoursOfDaylightSavingChanges) {
  const struct {
    const char *zone;
    int64_t at;        // an instant, UTC
    int64_t start;     // its hour's first instant
    int64_t length;    // in seconds
    int64_t previous;  // how many hour numbers back the instant before lies
    const char *label;
  } cases[] = {
      {"America/New_York", utc(2026, 3, 8, 7) + 1800, utc(2026, 3, 8, 7), 3600, 2, "2026-03-08 03"},
      {"America/New_York", utc(2026, 11, 1, 5) + 5400, utc(2026, 11, 1, 5), 7200, 1,
       "2026-11-01 01"},
      {"Europe/Berlin", utc(2026, 3, 29, 1) + 60, utc(2026, 3, 29, 1), 3600, 2, "2026-03-29 03"},
      {"Europe/Berlin", utc(2026, 10, 25, 0) + 60, utc(2026, 10, 25, 0), 7200, 1, "2026-10-25 02"},
  };
  for (const auto &c : cases) {
    const LocalZone zone(c.zone);
    Calendar calendar;
    calendar_init(&calendar, {ZoneKind::kLocal, 0}, Period::kHour);
    const Bucket bucket = bucket_at(&calendar, c.at);
    char text[32];
    format_period(Period::kHour, bucket.number, text, sizeof text);
    EXPECT_STREQ(text, c.label) << c.zone;
    EXPECT_EQ(bucket.start, c.start) << c.label;
    EXPECT_EQ(bucket.end - bucket.start, c.length) << c.label;
    EXPECT_EQ(bucket_at(&calendar, bucket.start - 1).number, bucket.number - c.previous) << c.label;
    EXPECT_EQ(bucket_at(&calendar, bucket.end).number, bucket.number + 1) << c.label;
  }
}

TEST(Calendar, BucketsTileTimeInEveryPeriodAndZone) {
  const LocalZone local("America/New_York");
  const Zone zones[] = {{ZoneKind::kUtc, 0},
                        {ZoneKind::kFixed, 19800},
                        {ZoneKind::kFixed, -28800},
                        {ZoneKind::kLocal, 0}};
  for (const Zone &zone : zones) {
    for (const Period period : {Period::kDay, Period::kWeek, Period::kMonth, Period::kHour}) {
      Calendar calendar;
      calendar_init(&calendar, zone, period);
      Bucket bucket = bucket_at(&calendar, utc(2025, 12, 20));
      for (int i = 0; i < 500; ++i) {
        const Bucket next = bucket_at(&calendar, bucket.end);
        ASSERT_EQ(next.start, bucket.end);
        ASSERT_EQ(next.number, bucket.number + 1);
        ASSERT_GT(next.end, next.start);
        // Far jumps find the same buckets as steps do.
        Calendar fresh;
        calendar_init(&fresh, zone, period);
        const Bucket again = bucket_at(&fresh, next.start + (next.end - next.start) / 2);
        ASSERT_EQ(again.number, next.number);
        ASSERT_EQ(again.start, next.start);
        bucket = next;
      }
    }
  }
}

}  // namespace
