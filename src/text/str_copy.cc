#include "text/str_copy.h"

void str_copy(char *dst, size_t capacity, const char *src) {
  if (dst == nullptr || capacity == 0) return;
  if (src == nullptr) {
    dst[0] = '\0';
    return;
  }
  size_t n = 0;
  while (n + 1 < capacity && src[n] != '\0') {
    dst[n] = src[n];
    ++n;
  }
  dst[n] = '\0';
}
