// Pieces shared by every JSON reply, written straight to standard output.
#pragma once

#include <cstddef>
#include <cstdint>

// Raw output helpers: bytes as they are, and printf-style formatted text.
void out_bytes(const char *bytes, size_t length);
void out_text(const char *text);
#if defined(__MINGW32__)
#define QV_PRINTF_LIKE(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define QV_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#endif
void out_format(const char *format, ...) QV_PRINTF_LIKE(1, 2);

// The header block of a JSON reply: content type, no-store, nosniff, empty line.
void json_header();

// Writes `text` as a JSON string, quotes included: \" \\ \n \r \t escaped, other
// control bytes and DEL dropped, every other byte (UTF-8 included) as it is.
void json_str(const char *text);

// "1d 01h 01m", "01h 01m 01s", "01m 01s" or "5s"; negative counts as 0.
void format_duration(int64_t seconds, char out[64]);

// The member pair `separator`"NAME_sec":N,"NAME_fmt":"duration text".
void json_duration_members(const char *separator, const char *name, int64_t seconds);
