#include "text/find.h"

#include <cstring>

#include "text/blocks.h"

namespace {

// The first i in [0, count) where text[i] is `first` and text[i + 1] is
// `second`, or count; text holds count + 1 bytes. A key's first two bytes (the
// quote and its first letter) are rare together in the agent's long values,
// where a search by the quote alone stops at every quoted word.
size_t find_pair(const char *text, size_t count, char first, char second) {
  const ByteBlock firsts = splat_block(first);
  const ByteBlock seconds = splat_block(second);
  // Four blocks per test: the test of a mask costs as much as forming it.
  constexpr size_t kStep = 4 * kByteBlockSize;
  size_t i = 0;
  for (; i + kStep <= count; i += kStep) {
    const char *p = text + i;
    const auto hits = ((load_block(p) == firsts) & (load_block(p + 1) == seconds)) |
                      ((load_block(p + 16) == firsts) & (load_block(p + 17) == seconds)) |
                      ((load_block(p + 32) == firsts) & (load_block(p + 33) == seconds)) |
                      ((load_block(p + 48) == firsts) & (load_block(p + 49) == seconds));
    if (any_set(hits)) break;
  }
  for (; i < count; ++i) {
    if (text[i] == first && text[i + 1] == second) return i;
  }
  return count;
}

}  // namespace

const char *find_bytes(const char *haystack, size_t length, const char *needle,
                       size_t needle_length) {
  if (needle_length == 0) return haystack;
  if (needle_length > length) return nullptr;
  if (needle_length == 1)
    return static_cast<const char *>(std::memchr(haystack, needle[0], length));
  const size_t starts = length - needle_length + 1;
  size_t pos = 0;
  while (pos < starts) {
    pos += find_pair(haystack + pos, starts - pos, needle[0], needle[1]);
    if (pos == starts) return nullptr;
    // Keys are a few bytes long: comparing inline is cheaper than a call.
    size_t i = 2;
    while (i < needle_length && haystack[pos + i] == needle[i]) ++i;
    if (i == needle_length) return haystack + pos;
    ++pos;
  }
  return nullptr;
}
