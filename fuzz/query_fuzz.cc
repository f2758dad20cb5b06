// Query decoding: any query string, any key, any capacity. The output must be a
// terminated string within the capacity, absent keys leave it empty, and the
// bounded copy never writes past its capacity.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "text/query.h"
#include "text/str_copy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  // First byte: capacity; second: key length; then the key; the rest is the query.
  const size_t capacity = data[0];
  const size_t key_length = data[1] % 16U < size - 2 ? data[1] % 16U : size - 2;
  const std::string key(reinterpret_cast<const char *>(data + 2), key_length);
  const std::string query(reinterpret_cast<const char *>(data + 2 + key_length),
                          size - 2 - key_length);

  // Exactly `capacity` bytes on the heap, so any overrun is seen by ASan.
  std::vector<char> out(capacity == 0 ? 1 : capacity, 'Z');
  const int found = get_query_val(query.c_str(), key.c_str(), out.data(), capacity);
  FUZZ_CHECK(found == 0 || found == 1);
  if (capacity > 0) {
    const size_t length = strnlen(out.data(), capacity);
    FUZZ_CHECK(length < capacity);
    if (found == 0) FUZZ_CHECK(out[0] == '\0');
  }
  for (const char *name : {"action", "sid", "id", "format", "pwd"}) {
    std::vector<char> fixed(capacity == 0 ? 1 : capacity);
    get_query_val(query.c_str(), name, fixed.data(), capacity);
  }

  std::vector<char> copy(capacity == 0 ? 1 : capacity, 'Z');
  str_copy(copy.data(), capacity, query.c_str());
  if (capacity > 0) {
    const size_t length = strnlen(copy.data(), capacity);
    FUZZ_CHECK(length < capacity);
    FUZZ_CHECK(std::memcmp(copy.data(), query.c_str(), length) == 0);
    FUZZ_CHECK(length == capacity - 1 || length == std::strlen(query.c_str()));
  }
  str_copy(copy.data(), capacity, nullptr);
  if (capacity > 0) FUZZ_CHECK(copy[0] == '\0');
  return 0;
}
