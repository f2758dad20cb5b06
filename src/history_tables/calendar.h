// Local time in the zone asked for, and the days, ISO weeks and months that a
// session's time is split into.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ZoneKind { kLocal, kUtc, kFixed };

// How local time relates to UTC: the system's zone with its daylight-saving
// rules, UTC, or a fixed offset.
struct Zone {
  ZoneKind kind;
  int32_t offset;  // seconds east of UTC, for kFixed
};

// Seconds east of UTC at instant t. For the local zone, times beyond the
// years 1970 to 9999 take the offset of the nearer end.
int32_t zone_offset(const Zone &zone, int64_t t);

struct CivilDate {
  int64_t year;
  int32_t month;  // 1 to 12
  int32_t day;    // 1 to 31
};

// Proleptic Gregorian calendar, days counted from 1970-01-01.
CivilDate civil_from_days(int64_t days);
int64_t days_from_civil(int64_t year, int64_t month, int64_t day);
// Whether the date exists (2026-02-29 does not).
bool is_valid_date(int64_t year, int64_t month, int64_t day);

// The local day (days from 1970-01-01 in the zone) of instant t.
int64_t local_day(const Zone &zone, int64_t t);

// The first instant of local day `day`: its midnight, or the first instant
// after it when the zone's clocks skip midnight.
int64_t local_day_start(const Zone &zone, int64_t day);

// "YYYY-MM-DD hh:mm:ss" of instant t in the zone.
void format_local_time(const Zone &zone, int64_t t, char *out, size_t capacity);

// The first instant of local hour `hour` (hours from 1970-01-01 00:00 in the
// zone), or the first after it when the zone's clocks skip that hour. An hour
// the clocks repeat lasts until the repeat ends.
int64_t local_hour_start(const Zone &zone, int64_t hour);

// What a row of time stands for. kWhole is all of time in one bucket, for the
// keys that are not times. Hours split time for the hour of the day and the
// day of the week.
enum class Period { kDay, kWeek, kMonth, kHour, kWhole };

// Periods are numbered: days from 1970-01-01, ISO weeks (Monday first) from
// the week of 1970-01-01, months from January of year 0. Hours are finer than
// days: a day's hour period is its first hour.
int64_t period_of_day(Period period, int64_t day);
int64_t period_first_day(Period period, int64_t number);

// "2026-11-30", "2026-W49" (the ISO week-numbering year), "2026-11" or
// "2026-11-30 14".
void format_period(Period period, int64_t number, char *out, size_t capacity);

// One period of one zone: the instants from start up to, not including, end.
struct Bucket {
  int64_t number;
  int64_t start;
  int64_t end;
};

constexpr int kBucketCacheSize = 1024;

// Finds the bucket of an instant, remembering the buckets found: a session's
// lines mostly fall in the bucket of the line before, and sessions of the
// same days follow one another.
struct Calendar {
  Zone zone;
  Period period;
  int32_t guess_offset;  // the zone's offset where it was last asked
  Bucket last;
  Bucket cache[kBucketCacheSize];  // by number; an empty range marks a free entry
};

void calendar_init(Calendar *calendar, Zone zone, Period period);

// The bucket holding instant t.
Bucket bucket_at(Calendar *calendar, int64_t t);

// Bucket `number`; for kWhole, every number gives all of time.
Bucket bucket_numbered(Calendar *calendar, int64_t number);
