#include "report/json_out.h"

#include <cstdio>

#include "output/output.h"

void json_header() {
  static const char kHeader[] =
      "Content-Type: application/json; charset=utf-8\r\n"
      "Cache-Control: no-store\r\n"
      "X-Content-Type-Options: nosniff\r\n"
      "\r\n";
  out_bytes(kHeader, sizeof kHeader - 1);
}

void json_str(const char *text) {
  // Runs of plain bytes go out in one write; only the escapes are special.
  out_char('"');
  const char *run = text;
  const char *pos = text;
  for (;; ++pos) {
    const auto byte = static_cast<unsigned char>(*pos);
    if (byte >= 0x20 && byte != '"' && byte != '\\' && byte != 0x7F) continue;
    if (pos > run) out_bytes(run, static_cast<size_t>(pos - run));
    run = pos + 1;
    if (byte == 0) break;
    switch (byte) {
      case '"':
        out_bytes("\\\"", 2);
        break;
      case '\\':
        out_bytes("\\\\", 2);
        break;
      case '\n':
        out_bytes("\\n", 2);
        break;
      case '\r':
        out_bytes("\\r", 2);
        break;
      case '\t':
        out_bytes("\\t", 2);
        break;
      default:  // other control bytes and DEL are dropped
        break;
    }
  }
  out_char('"');
}

void format_duration(int64_t seconds, char out[64]) {
  const long long s = seconds < 0 ? 0 : static_cast<long long>(seconds);
  const long long days = s / 86400;
  const long long rest = s % 86400;
  const long long hours = rest / 3600;
  const long long minutes = (rest % 3600) / 60;
  const long long secs = rest % 60;
  if (s >= 86400) {
    std::snprintf(out, 64, "%lldd %02lldh %02lldm", days, hours, minutes);
  } else if (s >= 3600) {
    std::snprintf(out, 64, "%02lldh %02lldm %02llds", hours, minutes, secs);
  } else if (s >= 60) {
    std::snprintf(out, 64, "%02lldm %02llds", minutes, secs);
  } else {
    std::snprintf(out, 64, "%llds", secs);
  }
}

void json_duration_members(const char *separator, const char *name, int64_t seconds) {
  char text[64];
  format_duration(seconds, text);
  out_format("%s\"%s_sec\":%lld,\"%s_fmt\":", separator, name, static_cast<long long>(seconds),
             name);
  json_str(text);
}
