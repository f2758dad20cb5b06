#include "session/line_reader.h"

#include <cstring>

#include "platform/platform.h"

void line_reader_start(LineReader *reader, FILE *file, char *buffer, size_t capacity) {
  // Reads go straight into the buffer: through the stream's own buffer every
  // refill would be copied twice and split into two reads.
  std::setvbuf(file, nullptr, _IONBF, 0);
  qv_advise_sequential(file);
  *reader = LineReader{file, buffer, capacity, 0, 0, false};
}

int line_reader_next(LineReader *reader, const char **text, size_t *length) {
  for (;;) {
    const size_t available = reader->filled - reader->begin;
    const size_t window = available < kLinePieceMax ? available : kLinePieceMax;
    const char *start = reader->buffer + reader->begin;
    // One search per line: the C library's memchr tests a line's bytes many
    // at a time, and lines average a kilobyte or more.
    const void *newline = std::memchr(start, '\n', window);
    size_t piece = 0;
    if (newline != nullptr) {
      piece = static_cast<size_t>(static_cast<const char *>(newline) - start) + 1;
    } else if (window == kLinePieceMax || (reader->at_end && available > 0)) {
      piece = window;
    } else if (reader->at_end) {
      return 0;
    } else {
      // The rest of the buffer holds no whole piece: keep it and read on.
      std::memmove(reader->buffer, start, available);
      reader->begin = 0;
      reader->filled = available;
      const size_t got =
          std::fread(reader->buffer + available, 1, reader->capacity - available, reader->file);
      reader->filled += got;
      if (got == 0) reader->at_end = true;
      continue;
    }
    *text = start;
    *length = piece;
    reader->begin += piece;
    return 1;
  }
}
