#include "text/find.h"

#include <cstring>

const char *find_bytes(const char *haystack, size_t length, const char *needle,
                       size_t needle_length) {
  if (needle_length == 0) return haystack;
  if (needle_length > length) return nullptr;
  const char *last_start = haystack + (length - needle_length);
  const char *pos = haystack;
  while (pos <= last_start) {
    const void *hit = std::memchr(pos, needle[0], static_cast<size_t>(last_start - pos) + 1);
    if (hit == nullptr) return nullptr;
    pos = static_cast<const char *>(hit);
    // Keys are a few bytes long and candidates mostly fail on their second
    // byte: comparing inline is much cheaper than a call per candidate.
    size_t i = 1;
    while (i < needle_length && pos[i] == needle[i]) ++i;
    if (i == needle_length) return pos;
    ++pos;
  }
  return nullptr;
}
