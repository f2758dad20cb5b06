// Event-time parsing: any text yields a count of 0 to 6 fields and an epoch
// that is 0 or positive, with no signed overflow on the way.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "session/timestamp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  int32_t fields[6] = {};
  const int count = scan_event_time(text.c_str(), fields);
  FUZZ_CHECK(count >= 0 && count <= 6);
  const int64_t t = parse_event_time(text.c_str());
  FUZZ_CHECK(t >= 0);
  if (t > 0) {
    FUZZ_CHECK(count == 6);
    FUZZ_CHECK(fields[1] >= 1 && fields[1] <= 12 && fields[2] >= 1 && fields[2] <= 31);
    FUZZ_CHECK(text.size() >= 19);
  }
  // Whole 32-bit field ranges reach the calendar arithmetic.
  if (size >= 24) {
    int64_t raw[6];
    for (int i = 0; i < 6; ++i) {
      const uint32_t bits = static_cast<uint32_t>(data[4 * i]) |
                            static_cast<uint32_t>(data[4 * i + 1]) << 8U |
                            static_cast<uint32_t>(data[4 * i + 2]) << 16U |
                            static_cast<uint32_t>(data[4 * i + 3]) << 24U;
      raw[i] = static_cast<int32_t>(bits);
    }
    raw[1] = 1 + (raw[1] % 12 + 12) % 12;
    raw[2] = 1 + (raw[2] % 31 + 31) % 31;
    epoch_from_civil(raw[0], raw[1], raw[2], raw[3], raw[4], raw[5]);
  }
  return 0;
}
