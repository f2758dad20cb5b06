// Flat JSON lookups on arbitrary text: the unterminated-length form must never
// read past its length, results stay within capacity, and numbers convert to
// 64-bit fields without undefined behaviour.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "text/find.h"
#include "text/json_lookup.h"

namespace {

const char *const kKeys[] = {"ts",         "event",       "tool",          "model",
                             "id",         "start_epoch", "input_tokens",  "cwd",
                             "start_time", "branch",      "output_tokens", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const size_t capacity = data[0];
  const char *text = reinterpret_cast<const char *>(data + 1);
  const size_t length = size - 1;
  // An exact-size copy without a terminator: reads beyond it trip ASan.
  std::vector<char> exact(text, text + length);
  const std::string terminated(text, length);

  // The key search finds the first occurrence, as a plain search does: the
  // keys' patterns, and a needle taken from the text's own start.
  const std::string_view view(text, length);
  std::vector<std::string> needles;
  for (const char *key : kKeys) needles.push_back(std::string("\"") + key + "\"");
  if (length > 0) needles.emplace_back(text, length < 1 + capacity % 8 ? length : 1 + capacity % 8);
  for (const std::string &needle : needles) {
    const char *hit = find_bytes(exact.data(), exact.size(), needle.data(), needle.size());
    const size_t at =
        hit == nullptr ? std::string_view::npos : static_cast<size_t>(hit - exact.data());
    FUZZ_CHECK(at == view.find(needle));
  }

  for (const char *key : kKeys) {
    std::vector<char> out(capacity == 0 ? 1 : capacity, 'Z');
    const int found = json_get_str_n(exact.data(), exact.size(), key, out.data(), capacity);
    if (capacity > 0) {
      FUZZ_CHECK(strnlen(out.data(), capacity) < capacity);
      if (found == 0) FUZZ_CHECK(out[0] == '\0');
    }
    std::vector<char> again(capacity == 0 ? 1 : capacity, 'Z');
    const int found_c = json_get_str(terminated.c_str(), key, again.data(), capacity);
    // Both forms see the same text up to its first NUL.
    if (std::memchr(text, '\0', length) == nullptr) {
      FUZZ_CHECK(found == found_c);
      if (capacity > 0) FUZZ_CHECK(std::strcmp(out.data(), again.data()) == 0);
    }

    double value = 0.25;
    if (json_get_num(terminated.c_str(), key, &value) != 0) {
      const long long stored = json_num_to_int64(value);
      if (std::isnan(value)) FUZZ_CHECK(stored == 0);
      if (value >= 0 && !std::isnan(value)) FUZZ_CHECK(stored >= 0);
      if (value <= 0 && !std::isnan(value)) FUZZ_CHECK(stored <= 0);
    } else {
      FUZZ_CHECK(value == 0.25);  // untouched when not found
    }
  }
  // A key longer than the lookup's pattern room is simply not found.
  const std::string long_key(200, 'k');
  char out[8];
  FUZZ_CHECK(json_get_str_n(exact.data(), exact.size(), long_key.c_str(), out, sizeof out) == 0);

  // Raw bytes as a double as well: every bit pattern must convert.
  if (length >= sizeof(double)) {
    double raw = 0;
    std::memcpy(&raw, text, sizeof raw);
    const long long stored = json_num_to_int64(raw);
    if (!std::isnan(raw) && raw > -1 && raw < 1) FUZZ_CHECK(stored == 0);
  }
  return 0;
}
