#include "history_tables/calendar.h"

#include <cstdio>
#include <limits>

#include "platform/platform.h"

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kHour = 3600;
constexpr int64_t kTimeMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kTimeMax = std::numeric_limits<int64_t>::max();
// 1970-01-01 and 9999-12-31 23:59:59: the system is asked about local time
// within these years only.
constexpr int64_t kLocalFirst = 0;
constexpr int64_t kLocalLast = 253402300799;

int64_t floor_div(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t floor_mod(int64_t a, int64_t b) {
  return a - floor_div(a, b) * b;
}

int32_t local_offset(int64_t t) {
  if (t < kLocalFirst) t = kLocalFirst;
  if (t > kLocalLast) t = kLocalLast;
  int32_t offset = 0;
  return qv_local_utc_offset(t, &offset) != 0 ? offset : 0;
}

}  // namespace

int32_t zone_offset(const Zone &zone, int64_t t) {
  switch (zone.kind) {
    case ZoneKind::kUtc:
      return 0;
    case ZoneKind::kFixed:
      return zone.offset;
    case ZoneKind::kLocal:
      return local_offset(t);
  }
  return 0;
}

CivilDate civil_from_days(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = floor_div(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {yoe + era * 400 + (month <= 2 ? 1 : 0), static_cast<int32_t>(month),
          static_cast<int32_t>(day)};
}

int64_t days_from_civil(int64_t year, int64_t month, int64_t day) {
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t era = floor_div(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t mp = month > 2 ? month - 3 : month + 9;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool is_valid_date(int64_t year, int64_t month, int64_t day) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  const CivilDate date = civil_from_days(days_from_civil(year, month, day));
  return date.year == year && date.month == month && date.day == day;
}

int64_t local_day(const Zone &zone, int64_t t) {
  return floor_div(t + zone_offset(zone, t), kDay);
}

namespace {

// The first instant whose local time, counted in whole units of `unit`
// seconds from 1970-01-01 00:00, reaches `number`.
int64_t local_unit_start(const Zone &zone, int64_t number, int64_t unit) {
  const int64_t local = number * unit;  // as if the zone were UTC
  if (zone.kind != ZoneKind::kLocal) return local - zone_offset(zone, local);
  const auto unit_of = [&zone, unit](int64_t t) {
    return floor_div(t + zone_offset(zone, t), unit);
  };
  // The offset in force at the boundary decides, so ask where it falls under
  // the offset of half a day before, then under its own.
  int64_t guess = local - zone_offset(zone, local - kDay / 2);
  guess = local - zone_offset(zone, guess);
  if (unit_of(guess) >= number && unit_of(guess - 1) < number) return guess;
  // Clocks that skip or repeat the boundary: its first instant, found by
  // halving an interval wider than any offset change.
  int64_t low = local - 2 * kDay;   // before the unit
  int64_t high = local + 2 * kDay;  // within or after it
  while (high - low > 1) {
    const int64_t middle = low + (high - low) / 2;
    if (unit_of(middle) >= number) {
      high = middle;
    } else {
      low = middle;
    }
  }
  return high;
}

}  // namespace

int64_t local_day_start(const Zone &zone, int64_t day) {
  return local_unit_start(zone, day, kDay);
}

int64_t local_hour_start(const Zone &zone, int64_t hour) {
  return local_unit_start(zone, hour, kHour);
}

void format_local_time(const Zone &zone, int64_t t, char *out, size_t capacity) {
  const int64_t local = t + zone_offset(zone, t);
  const CivilDate date = civil_from_days(floor_div(local, kDay));
  const int64_t second = floor_mod(local, kDay);
  std::snprintf(out, capacity, "%04lld-%02d-%02d %02lld:%02lld:%02lld",
                static_cast<long long>(date.year), date.month, date.day,
                static_cast<long long>(second / 3600), static_cast<long long>(second / 60 % 60),
                static_cast<long long>(second % 60));
}

int64_t period_of_day(Period period, int64_t day) {
  switch (period) {
    case Period::kDay:
      return day;
    case Period::kWeek:
      // 1970-01-01 was a Thursday: its week began on Monday 1969-12-29.
      return floor_div(day + 3, 7);
    case Period::kMonth: {
      const CivilDate date = civil_from_days(day);
      return date.year * 12 + date.month - 1;
    }
    case Period::kHour:
      return day * 24;
    case Period::kWhole:
      return 0;
  }
  return 0;
}

int64_t period_first_day(Period period, int64_t number) {
  switch (period) {
    case Period::kDay:
      return number;
    case Period::kWeek:
      return number * 7 - 3;
    case Period::kMonth:
      return days_from_civil(floor_div(number, 12), floor_mod(number, 12) + 1, 1);
    case Period::kHour:
      return floor_div(number, 24);
    case Period::kWhole:
      return 0;
  }
  return 0;
}

void format_period(Period period, int64_t number, char *out, size_t capacity) {
  switch (period) {
    case Period::kDay: {
      const CivilDate date = civil_from_days(number);
      std::snprintf(out, capacity, "%04lld-%02d-%02d", static_cast<long long>(date.year),
                    date.month, date.day);
      return;
    }
    case Period::kWeek: {
      // An ISO week belongs to the year of its Thursday.
      const int64_t thursday = number * 7;
      const CivilDate date = civil_from_days(thursday);
      const int64_t week = (thursday - days_from_civil(date.year, 1, 1)) / 7 + 1;
      std::snprintf(out, capacity, "%04lld-W%02lld", static_cast<long long>(date.year),
                    static_cast<long long>(week));
      return;
    }
    case Period::kMonth: {
      const int64_t year = floor_div(number, 12);
      const int64_t month = floor_mod(number, 12) + 1;
      std::snprintf(out, capacity, "%04lld-%02lld", static_cast<long long>(year),
                    static_cast<long long>(month));
      return;
    }
    case Period::kHour: {
      const CivilDate date = civil_from_days(floor_div(number, 24));
      std::snprintf(out, capacity, "%04lld-%02d-%02d %02lld", static_cast<long long>(date.year),
                    date.month, date.day, static_cast<long long>(floor_mod(number, 24)));
      return;
    }
    case Period::kWhole:
      std::snprintf(out, capacity, "all");
      return;
  }
}

void calendar_init(Calendar *calendar, Zone zone, Period period) {
  calendar->zone = zone;
  calendar->period = period;
  calendar->guess_offset = zone_offset(zone, 0);
  calendar->last = {0, 0, 0};
  for (Bucket &entry : calendar->cache) entry = {0, 0, 0};
}

Bucket bucket_numbered(Calendar *calendar, int64_t number) {
  if (calendar->period == Period::kWhole) return {number, kTimeMin, kTimeMax};
  Bucket &entry = calendar->cache[floor_mod(number, kBucketCacheSize)];
  if (entry.number == number && entry.start < entry.end) return entry;
  const Period period = calendar->period;
  entry.number = number;
  if (period == Period::kHour) {
    entry.start = local_hour_start(calendar->zone, number);
    entry.end = local_hour_start(calendar->zone, number + 1);
  } else {
    entry.start = local_day_start(calendar->zone, period_first_day(period, number));
    entry.end = local_day_start(calendar->zone, period_first_day(period, number + 1));
  }
  return entry;
}

namespace {

// The period of local time `local` (seconds from 1970-01-01 00:00 in the zone).
int64_t period_of_local(Period period, int64_t local) {
  if (period == Period::kHour) return floor_div(local, kHour);
  return period_of_day(period, floor_div(local, kDay));
}

}  // namespace

Bucket bucket_at(Calendar *calendar, int64_t t) {
  if (calendar->period == Period::kWhole) return {0, kTimeMin, kTimeMax};
  if (calendar->last.start <= t && t < calendar->last.end) return calendar->last;
  // The offset last seen is at most a few hours off, so the guess is at most
  // a bucket away; should it be farther, the offset at t itself decides.
  int64_t number = period_of_local(calendar->period, t + calendar->guess_offset);
  Bucket bucket = bucket_numbered(calendar, number);
  for (int step = 0; !(bucket.start <= t && t < bucket.end); ++step) {
    if (step == 64) {
      // A zone whose days do not follow one another: a bucket of this instant
      // alone, so that whoever walks through time still moves on.
      return {number, t, t + 1};
    }
    if (step == 2) {
      calendar->guess_offset = zone_offset(calendar->zone, t);
      number = period_of_local(calendar->period, t + calendar->guess_offset);
    } else {
      number += t < bucket.start ? -1 : 1;
    }
    bucket = bucket_numbered(calendar, number);
  }
  calendar->last = bucket;
  return bucket;
}
