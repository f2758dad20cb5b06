#include "output/output.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

void out_begin() {
  qv_prepare_stdout();
  // A summary is many small pieces: one large buffer turns them into few
  // writes. The buffer may only be set before the first write.
  static bool buffered = false;
  if (buffered) return;
  buffered = true;
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

void out_bytes(const char *bytes, size_t length) {
  std::fwrite(bytes, 1, length, stdout);
}

void out_text(const char *text) {
  std::fputs(text, stdout);
}

void out_char(char c) {
  std::putc(c, stdout);
}

void out_format(const char *format, ...) {
  va_list args;
  va_start(args, format);
  // The analyzer does not see va_start through the format attribute.
  std::vfprintf(stdout, format, args);  // NOLINT(clang-analyzer-valist.Uninitialized)
  va_end(args);
}

void out_flush() {
  std::fflush(stdout);
}

bool out_failed() {
  return std::ferror(stdout) != 0;
}

void err_text(const char *text) {
  std::fputs(text, stderr);
}

void err_format(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);  // NOLINT(clang-analyzer-valist.Uninitialized)
  va_end(args);
}
