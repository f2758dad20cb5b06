#include "history_writers/html_text.h"

#include <cstdio>

#include "output/output.h"

namespace {

constexpr int32_t kReplacement = 0xFFFD;

bool is_noncharacter(int32_t c) {
  return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

bool is_control(int32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void out_code_point(int32_t c) {
  char bytes[4];
  int length = 0;
  if (c < 0x80) {
    bytes[length++] = static_cast<char>(c);
  } else if (c < 0x800) {
    bytes[length++] = static_cast<char>(0xC0 | (c >> 6));
    bytes[length++] = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    bytes[length++] = static_cast<char>(0xE0 | (c >> 12));
    bytes[length++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    bytes[length++] = static_cast<char>(0xF0 | (c >> 18));
    bytes[length++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | (c & 0x3F));
  }
  out_bytes(bytes, static_cast<size_t>(length));
}

void html_code_point(int32_t c) {
  switch (c) {
    case '&':
      out_text("&amp;");
      return;
    case '<':
      out_text("&lt;");
      return;
    case '>':
      out_text("&gt;");
      return;
    case '"':
      out_text("&quot;");
      return;
    case '\'':
      out_text("&#39;");
      return;
    case '\t':
    case '\n':
    case '\r':
      out_char(' ');
      return;
    default:
      break;
  }
  if (c >= 0 && is_control(c)) return;
  out_code_point(c < 0 || is_noncharacter(c) ? kReplacement : c);
}

int characters_in(const char *text) {
  int count = 0;
  for (const char *p = text; *p != '\0';) {
    int length = 1;
    next_code_point(p, &length);
    p += length;
    ++count;
  }
  return count;
}

}  // namespace

int32_t next_code_point(const char *text, int *length) {
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  *length = 1;
  if (p[0] < 0x80) return p[0];
  int extra = 0;
  int32_t c = 0;
  int32_t least = 0;
  if (p[0] >= 0xC2 && p[0] <= 0xDF) {
    extra = 1;
    c = p[0] & 0x1F;
    least = 0x80;
  } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
    extra = 2;
    c = p[0] & 0x0F;
    least = 0x800;
  } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
    extra = 3;
    c = p[0] & 0x07;
    least = 0x10000;
  } else {
    return -1;
  }
  for (int i = 1; i <= extra; ++i) {
    if ((p[i] & 0xC0) != 0x80) return -1;  // the end's NUL stops here too
    c = (c << 6) | (p[i] & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  *length = extra + 1;
  return c;
}

void html_text(const char *text) {
  for (const char *p = text; *p != '\0';) {
    int length = 1;
    const int32_t c = next_code_point(p, &length);
    html_code_point(c);
    p += length;
  }
}

void html_text_tail(const char *text, int max_chars) {
  int skip = characters_in(text) - max_chars;
  if (skip <= 0) {
    html_text(text);
    return;
  }
  ++skip;  // room for the ellipsis
  const char *p = text;
  for (; skip > 0 && *p != '\0'; --skip) {
    int length = 1;
    next_code_point(p, &length);
    p += length;
  }
  out_text("\xE2\x80\xA6");
  html_text(p);
}

void page_json_str(const char *text) {
  out_char('"');
  for (const char *p = text; *p != '\0';) {
    int length = 1;
    const int32_t c = next_code_point(p, &length);
    p += length;
    switch (c) {
      case '"':
        out_text("\\\"");
        continue;
      case '\\':
        out_text("\\\\");
        continue;
      case '\n':
        out_text("\\n");
        continue;
      case '\r':
        out_text("\\r");
        continue;
      case '\t':
        out_text("\\t");
        continue;
      case '<':
        out_text("\\u003c");
        continue;
      default:
        break;
    }
    if (c < 0) {
      out_code_point(kReplacement);
    } else if (c < 0x20 || c == 0x7F) {
      continue;  // dropped, as the JSON report drops them
    } else if ((c >= 0x80 && c <= 0x9F) || (is_noncharacter(c) && c < 0x10000)) {
      out_format("\\u%04x", static_cast<unsigned>(c));
    } else if (is_noncharacter(c)) {
      const int32_t v = c - 0x10000;
      out_format("\\u%04x\\u%04x", static_cast<unsigned>(0xD800 + (v >> 10)),
                 static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
    } else {
      out_code_point(c);
    }
  }
  out_char('"');
}
