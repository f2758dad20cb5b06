#include "text/json_lookup.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "text/find.h"

namespace {

// Keys are fixed names of a few bytes; the pattern is formed in 96 bytes.
constexpr size_t kMaxKeyLength = 92;

// Finds the byte after the first "key" in text[0, length) and skips tabs, spaces
// and colons. Returns null when there is no occurrence before the first NUL or
// when the text ends while skipping.
const char *locate_value(const char *text, size_t length, const char *key) {
  const size_t key_length = std::strlen(key);
  if (key_length > kMaxKeyLength) return nullptr;
  char pattern[96];
  pattern[0] = '"';
  std::memcpy(pattern + 1, key, key_length);
  pattern[key_length + 1] = '"';
  pattern[key_length + 2] = '\0';
  const size_t pattern_length = key_length + 2;

  const char *end = text + length;
  const char *hit = find_bytes(text, length, pattern, pattern_length);
  if (hit == nullptr) return nullptr;
  const char *pos = hit + pattern_length;
  // A NUL before the end of the match ends the text before the key.
  if (std::memchr(text, '\0', static_cast<size_t>(pos - text)) != nullptr) return nullptr;
  while (pos < end && (*pos == '\t' || *pos == ' ' || *pos == ':')) ++pos;
  if (pos == end || *pos == '\0') return nullptr;
  return pos;
}

}  // namespace

int json_get_str_n(const char *text, size_t length, const char *key, char *out, size_t capacity) {
  if (out == nullptr || capacity == 0) return 0;
  out[0] = '\0';
  if (text == nullptr || key == nullptr) return 0;
  const char *pos = locate_value(text, length, key);
  if (pos == nullptr || *pos != '"') return 0;
  const char *end = text + length;
  ++pos;
  size_t n = 0;
  while (pos < end && *pos != '"' && *pos != '\0' && n + 1 < capacity) {
    char c = *pos;
    if (c == '\\' && pos + 1 < end && pos[1] != '\0') {
      c = pos[1];
      if (c == 'r') {
        c = '\r';
      } else if (c == 't') {
        c = '\t';
      } else if (c == 'n') {
        c = '\n';
      }
      pos += 2;
    } else {
      ++pos;
    }
    out[n++] = c;
  }
  out[n] = '\0';
  return 1;
}

int json_get_str(const char *text, const char *key, char *out, size_t capacity) {
  return json_get_str_n(text, text == nullptr ? 0 : std::strlen(text), key, out, capacity);
}

int json_get_num(const char *text, const char *key, double *value) {
  if (text == nullptr || key == nullptr || value == nullptr) return 0;
  const char *pos = locate_value(text, std::strlen(text), key);
  if (pos == nullptr || !((*pos >= '0' && *pos <= '9') || *pos == '-')) return 0;
  char *stop = nullptr;
  const double parsed = std::strtod(pos, &stop);
  if (stop == pos) return 0;
  *value = parsed;
  return 1;
}

long long json_num_to_int64(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exact as a double; everything at or beyond it saturates.
  constexpr double kLimit = 9223372036854775808.0;
  if (value >= kLimit) return 9223372036854775807LL;
  if (value <= -kLimit) return -9223372036854775807LL - 1;
  return static_cast<long long>(value);
}
