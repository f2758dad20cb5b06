// Query decoding: any query string, any key, any capacity. The output must be a
// terminated string within the capacity, absent keys leave it empty, and the
// bounded copy never writes past its capacity. The query read as search words
// matches the words a plain split and decode gives, and no fewer or more.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "text/query.h"
#include "text/str_copy.h"

namespace {

// "%HH" is a byte, anything else itself; a decoded NUL ends the word.
std::string decoded_word(const std::string &encoded) {
  std::string word;
  for (size_t i = 0; i < encoded.size(); ++i) {
    char byte = encoded[i];
    if (byte == '%' && i + 2 < encoded.size() &&
        std::isxdigit(static_cast<unsigned char>(encoded[i + 1])) != 0 &&
        std::isxdigit(static_cast<unsigned char>(encoded[i + 2])) != 0) {
      byte = static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
    if (byte == '\0') break;
    word += byte;
  }
  return word;
}

void check_search_words(const std::string &query) {
  std::vector<std::string> words;
  if (!query.empty()) {
    size_t start = 0;
    for (;;) {
      const size_t plus = query.find('+', start);
      words.push_back(decoded_word(query.substr(start, plus - start)));
      if (plus == std::string::npos) break;
      start = plus + 1;
    }
  }
  words.emplace_back("x");  // one word more than the query has
  std::vector<const char *> pointers;
  for (const std::string &word : words) pointers.push_back(word.c_str());
  const int count = static_cast<int>(words.size()) - 1;
  FUZZ_CHECK(query_words_are(query.c_str(), pointers.data(), count) == 1);
  FUZZ_CHECK(query_words_are(query.c_str(), pointers.data(), count + 1) == 0);
  if (count > 0) FUZZ_CHECK(query_words_are(query.c_str(), pointers.data(), count - 1) == 0);
}

}  // namespace

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
  // As the program sees it: up to the first NUL.
  check_search_words(query.c_str());
  return 0;
}
