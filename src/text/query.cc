#include "text/query.h"

#include <cstring>

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decodes in place; each escape shrinks the text, so the write position never
// passes the read position, and a decoded byte is never looked at again.
void form_decode(char *text) {
  char *read = text;
  char *write = text;
  while (*read != '\0') {
    if (*read == '+') {
      *write++ = ' ';
      ++read;
    } else if (*read == '%' && hex_value(read[1]) >= 0 && hex_value(read[2]) >= 0) {
      *write++ = static_cast<char>(hex_value(read[1]) * 16 + hex_value(read[2]));
      read += 3;
    } else {
      *write++ = *read++;
    }
  }
  *write = '\0';
}

}  // namespace

int get_query_val(const char *query, const char *name, char *out, size_t capacity) {
  if (out == nullptr || capacity == 0) return 0;
  out[0] = '\0';
  if (query == nullptr || query[0] == '\0' || name == nullptr) return 0;
  const size_t name_len = std::strlen(name);
  const char *segment = query;
  for (;;) {
    if (std::strncmp(segment, name, name_len) == 0 && segment[name_len] == '=') break;
    const char *amp = std::strchr(segment, '&');
    if (amp == nullptr || amp[1] == '\0') return 0;
    segment = amp + 1;
  }
  const char *value = segment + name_len + 1;
  size_t n = 0;
  while (n + 1 < capacity && value[n] != '\0' && value[n] != '&') {
    out[n] = value[n];
    ++n;
  }
  out[n] = '\0';
  form_decode(out);
  return 1;
}
