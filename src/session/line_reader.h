// Cutting an event log into the pieces the replay examines, in large reads.
#pragma once

#include <cstddef>
#include <cstdio>

// Longest piece of a line examined at once: a longer line is examined as
// several pieces of at most this many bytes, each on its own.
constexpr size_t kLinePieceMax = 4095;

// A log being read through a buffer of the caller's. Each piece is the rest of
// the current line up to and including its line feed, but at most
// kLinePieceMax bytes, exactly as line reads into a 4096-byte buffer would cut
// it; a last line without a line feed is a piece too. A read error ends the
// log like its end.
struct LineReader {
  FILE *file;
  char *buffer;
  size_t capacity;  // at least kLinePieceMax
  size_t begin;     // where the next piece starts
  size_t filled;    // bytes of the buffer read from the file
  bool at_end;
};

// Starts reading `file`, which nothing has read from yet, into
// buffer[0, capacity); capacity is at least kLinePieceMax.
void line_reader_start(LineReader *reader, FILE *file, char *buffer, size_t capacity);

// The next piece as text[0, length), inside the buffer and valid until the next
// call; answers 0, with nothing stored, at the end of the log.
int line_reader_next(LineReader *reader, const char **text, size_t *length);
