#include "session/timestamp.h"

#include <array>
#include <bit>
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

int64_t two_digits(const char *p) {
  return (p[0] - '0') * 10 + (p[1] - '0');
}

}  // namespace

bool is_fixed_event_time(const char *ts) {
  return is_digit(ts[0]) && is_digit(ts[1]) && is_digit(ts[2]) && is_digit(ts[3]) && ts[4] == '-' &&
         is_digit(ts[5]) && is_digit(ts[6]) && ts[7] == '-' && is_digit(ts[8]) && is_digit(ts[9]) &&
         ts[10] == ' ' && is_digit(ts[11]) && is_digit(ts[12]) && ts[13] == ':' &&
         is_digit(ts[14]) && is_digit(ts[15]) && ts[16] == ':' && is_digit(ts[17]) &&
         is_digit(ts[18]);
}

namespace {

constexpr uint64_t word_of(const char (&bytes)[9]) {
  std::array<char, 8> word{};
  for (size_t i = 0; i < 8; ++i) word[i] = bytes[i];
  return std::bit_cast<uint64_t>(word);
}

constexpr uint64_t kLowBits = word_of("\x7f\x7f\x7f\x7f\x7f\x7f\x7f\x7f");
constexpr uint64_t kHighBits = word_of("\x80\x80\x80\x80\x80\x80\x80\x80");
constexpr uint64_t kPastNine = word_of("\x76\x76\x76\x76\x76\x76\x76\x76");

// Eight bytes against a layout: '0' where a digit belongs, the separator where
// one does, and a mask of the separators' places. After the xor a digit is a
// byte of 0 to 9, and a separator in place is 0.
bool word_fits(const char *text, uint64_t layout, uint64_t separators) {
  uint64_t word = 0;
  std::memcpy(&word, text, sizeof word);
  const uint64_t x = word ^ layout;
  // A byte above 9 sets its high bit here: adding 0x76 to its low seven bits
  // carries into the high bit, and a byte with the high bit set keeps it.
  const uint64_t above_nine = (((x & kLowBits) + kPastNine) | x) & kHighBits;
  return above_nine == 0 && (x & separators) == 0;
}

}  // namespace

bool has_fixed_event_time(const char *ts) {
  // Bytes 0-7, 8-15 and 11-18: the last word overlaps the second.
  return word_fits(ts, word_of("0000-00-"), word_of("\0\0\0\0\xff\0\0\xff")) &&
         word_fits(ts + 8, word_of("00 00:00"), word_of("\0\0\xff\0\0\xff\0\0")) &&
         word_fits(ts + 11, word_of("00:00:00"), word_of("\0\0\xff\0\0\xff\0\0"));
}

int64_t fixed_event_time(const char *ts) {
  // A log's lines mostly fall on a few days: the date is converted once per
  // distinct day, and a day out of range is remembered as such.
  constexpr int64_t kBadDate = INT64_MIN;
  static char last_date[10];
  static int64_t last_days = kBadDate;
  static bool have_last = false;
  if (!have_last || std::memcmp(ts, last_date, sizeof last_date) != 0) {
    const int64_t year = two_digits(ts) * 100 + two_digits(ts + 2);
    const int64_t month = two_digits(ts + 5);
    const int64_t day = two_digits(ts + 8);
    const bool in_range = month >= 1 && month <= 12 && day >= 1 && day <= 31;
    last_days = in_range ? epoch_from_civil(year, month, day, 0, 0, 0) / 86400 : kBadDate;
    std::memcpy(last_date, ts, sizeof last_date);
    have_last = true;
  }
  if (last_days == kBadDate) return 0;
  const int64_t t = last_days * 86400 + two_digits(ts + 11) * 3600 + two_digits(ts + 14) * 60 +
                    two_digits(ts + 17);
  return t > 0 ? t : 0;
}

int64_t parse_event_time(const char *ts) {
  // The seconds must not run on into further digits, which the general scan
  // would take as well.
  if (is_fixed_event_time(ts) && !is_digit(ts[kEventTimeLength])) return fixed_event_time(ts);
  int32_t f[6] = {};
  if (std::strlen(ts) < kEventTimeLength || scan_event_time(ts, f) < 6) return 0;
  if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31) return 0;
  const int64_t t = epoch_from_civil(f[0], f[1], f[2], f[3], f[4], f[5]);
  return t > 0 ? t : 0;
}
