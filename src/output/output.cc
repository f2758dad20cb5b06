#include "output/output.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

namespace {

// Where the reply goes: standard output, or a file a console program chose.
FILE *g_out = stdout;

}  // namespace

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

void out_to_file(FILE *file) {
  g_out = file != nullptr ? file : stdout;
  if (file == nullptr) return;
  static char buffer[1 << 16];
  std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
}

FILE *out_stream() {
  return g_out;
}

void out_bytes(const char *bytes, size_t length) {
  std::fwrite(bytes, 1, length, g_out);
}

void out_text(const char *text) {
  std::fputs(text, g_out);
}

void out_char(char c) {
  std::putc(c, g_out);
}

void out_format(const char *format, ...) {
  va_list args;
  va_start(args, format);
  // The analyzer does not see va_start through the format attribute.
  std::vfprintf(g_out, format, args);  // NOLINT(clang-analyzer-valist.Uninitialized)
  va_end(args);
}

void out_flush() {
  std::fflush(g_out);
}

bool out_failed() {
  return std::ferror(g_out) != 0;
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
