// Standard output, which carries the one reply of a run (or a console
// program's report), and standard error for messages. Every writer writes
// through here, each escaping for its own context first; nothing else touches
// either stream.
#pragma once

#include <cstddef>
#include <cstdio>

// Makes standard output byte-exact and fully buffered, and keeps a reader that
// went away from killing the process. Called once, before anything is written.
void out_begin();

// Sends what is written from now on to `file`, newly opened for writing,
// instead of standard output; null turns back to standard output. The caller
// closes the file.
void out_to_file(FILE *file);
// Where writes go now.
FILE *out_stream();

// Bytes as they are.
void out_bytes(const char *bytes, size_t length);
void out_text(const char *text);
void out_char(char c);

#if defined(__MINGW32__)
#define QV_PRINTF_LIKE(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define QV_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#endif
// printf-style formatted text.
void out_format(const char *format, ...) QV_PRINTF_LIKE(1, 2);

// Hands everything written so far to the reader; the end of every run.
void out_flush();

// Whether a write to standard output has failed: its reader went away, or
// its disk is full. The plugin never asks; a console program must not report
// success then.
bool out_failed();

// Standard error, for a console program's messages and progress line:
// unbuffered, so each line is whole when it appears.
void err_text(const char *text);
void err_format(const char *format, ...) QV_PRINTF_LIKE(1, 2);
