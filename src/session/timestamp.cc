#include "session/timestamp.h"

#include <cstring>

namespace {

bool is_scanf_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d": whitespace, optional sign, digits. Saturates instead of overflowing.
bool scan_int(const char *&pos, int32_t *value) {
  const char *p = pos;
  while (is_scanf_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return false;
  int64_t magnitude = 0;
  constexpr int64_t kCap = int64_t{1} << 32;  // beyond every 32-bit value
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (magnitude < kCap) magnitude = magnitude * 10 + (*p - '0');
  }
  int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > INT32_MAX) signed_value = INT32_MAX;
  if (signed_value < INT32_MIN) signed_value = INT32_MIN;
  *value = static_cast<int32_t>(signed_value);
  pos = p;
  return true;
}

}  // namespace

int scan_event_time(const char *text, int32_t fields[6]) {
  // The literal that must follow each number; ' ' matches any whitespace run.
  static const char kSeparators[6] = {'-', '-', ' ', ':', ':', '\0'};
  const char *pos = text;
  for (int i = 0; i < 6; ++i) {
    if (!scan_int(pos, &fields[i])) return i;
    const char separator = kSeparators[i];
    if (separator == ' ') {
      while (is_scanf_space(*pos)) ++pos;
    } else if (separator != '\0') {
      if (*pos != separator) return i + 1;
      ++pos;
    }
  }
  return 6;
}

int64_t epoch_from_civil(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                         int64_t second) {
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = month > 2 ? month - 3 : month + 9;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = era * 146097 + doe - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

namespace {

bool is_digit(char c) {
  return static_cast<unsigned char>(c - '0') < 10;
}

int two_digits(const char *p) {
  return (p[0] - '0') * 10 + (p[1] - '0');
}

// The agent writes "YYYY-MM-DD hh:mm:ss" with every field in place. For that
// exact shape the six numbers are read where they stand; the seconds must not
// run on into further digits, which the general scan would take as well.
bool read_fixed_layout(const char *ts, int32_t f[6]) {
  // Checked front to back, so a shorter text fails at its NUL before any byte
  // past it is read.
  const bool fixed = is_digit(ts[0]) && is_digit(ts[1]) && is_digit(ts[2]) && is_digit(ts[3]) &&
                     ts[4] == '-' && is_digit(ts[5]) && is_digit(ts[6]) && ts[7] == '-' &&
                     is_digit(ts[8]) && is_digit(ts[9]) && ts[10] == ' ' && is_digit(ts[11]) &&
                     is_digit(ts[12]) && ts[13] == ':' && is_digit(ts[14]) && is_digit(ts[15]) &&
                     ts[16] == ':' && is_digit(ts[17]) && is_digit(ts[18]) && !is_digit(ts[19]);
  if (!fixed) return false;
  f[0] = two_digits(ts) * 100 + two_digits(ts + 2);
  f[1] = two_digits(ts + 5);
  f[2] = two_digits(ts + 8);
  f[3] = two_digits(ts + 11);
  f[4] = two_digits(ts + 14);
  f[5] = two_digits(ts + 17);
  return true;
}

}  // namespace

int64_t parse_event_time(const char *ts) {
  int32_t f[6] = {};
  if (!read_fixed_layout(ts, f)) {
    if (std::strlen(ts) < 19 || scan_event_time(ts, f) < 6) return 0;
  }
  if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31) return 0;
  const int64_t t = epoch_from_civil(f[0], f[1], f[2], f[3], f[4], f[5]);
  return t > 0 ? t : 0;
}
