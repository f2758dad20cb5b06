#include "text/query.h"

#include <cstring>

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The byte that the text at `at` stands for, an escape or itself, into *byte;
// answers how many bytes of text it took. Reads no further than a NUL or a
// "+", which are no hex digits.
size_t decode_byte(const char *at, char *byte) {
  if (at[0] == '%' && hex_value(at[1]) >= 0 && hex_value(at[2]) >= 0) {
    *byte = static_cast<char>(hex_value(at[1]) * 16 + hex_value(at[2]));
    return 3;
  }
  *byte = at[0];
  return 1;
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
    } else {
      read += decode_byte(read, write++);
    }
  }
  *write = '\0';
}

// Whether the encoded word from `word` up to `end` decodes to `text`.
bool word_decodes_to(const char *word, const char *end, const char *text) {
  while (word < end) {
    char byte = '\0';
    word += decode_byte(word, &byte);
    if (byte == '\0') break;
    if (*text != byte) return false;
    ++text;
  }
  return *text == '\0';
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

int query_words_are(const char *query, const char *const *words, int count) {
  if (query == nullptr || query[0] == '\0') return count == 0 ? 1 : 0;
  int index = 0;
  const char *word = query;
  for (;;) {
    const char *end = std::strchr(word, '+');
    if (end == nullptr) end = word + std::strlen(word);
    if (index >= count || words[index] == nullptr || !word_decodes_to(word, end, words[index])) {
      return 0;
    }
    ++index;
    if (*end == '\0') break;
    word = end + 1;
  }
  return index == count ? 1 : 0;
}
