// The line reader against a plain cut of the same bytes: the first byte picks
// the reader's block size, the rest is the log. Every piece must be the one
// that line reads into a 4096-byte buffer give, wherever the blocks end, and
// the replay of the reader's pieces must leave the record that the general
// lookups leave on the plain pieces.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "session/line_reader.h"
#include "session/replay.h"
#include "session/replay_plain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  // From the smallest block the reader takes to a few pieces' worth.
  const size_t capacity = kLinePieceMax + static_cast<size_t>(data[0]) * 37;
  const uint8_t *log = data + 1;
  const size_t log_size = size - 1;

  std::vector<char> bytes(log, log + log_size);
  FILE *file = log_size > 0 ? fmemopen(bytes.data(), log_size, "r") : std::tmpfile();
  FUZZ_CHECK(file != nullptr);
  std::vector<char> buffer(capacity);
  LineReader reader{};
  line_reader_start(&reader, file, buffer.data(), buffer.size());

  static SessionRecord direct;
  static SessionRecord plain;
  std::memset(&direct, 0, sizeof direct);
  std::memset(&plain, 0, sizeof plain);
  ReplayState state{};
  ReplayState plain_state{};

  size_t begin = 0;
  const char *text = nullptr;
  size_t length = 0;
  while (line_reader_next(&reader, &text, &length) != 0) {
    size_t piece = 0;
    while (piece < kLinePieceMax && begin + piece < log_size) {
      ++piece;
      if (log[begin + piece - 1] == '\n') break;
    }
    FUZZ_CHECK(length == piece && piece > 0);
    FUZZ_CHECK(std::memcmp(text, log + begin, piece) == 0);
    FUZZ_CHECK(text >= buffer.data() && text + length <= buffer.data() + buffer.size());
    replay_line(text, length, &state, &direct);
    // An exact-size copy, so that a read past the piece's end is seen.
    std::vector<char> exact(log + begin, log + begin + piece);
    replay_line_plain(exact.data(), exact.size(), &plain_state, &plain);
    begin += piece;
  }
  FUZZ_CHECK(begin == log_size);
  FUZZ_CHECK(line_reader_next(&reader, &text, &length) == 0);
  std::fclose(file);

  replay_finish(&state, &direct);
  replay_finish(&plain_state, &plain);
  FUZZ_CHECK(std::memcmp(&direct, &plain, sizeof direct) == 0);
  return 0;
}
