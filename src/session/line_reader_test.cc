#include "session/line_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "session/replay.h"
#include "session/replay_plain.h"
#include "test_support.h"

namespace {

// A file holding `bytes`, read from its start.
FILE *file_of(const std::string &bytes) {
  FILE *file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  std::rewind(file);
  return file;
}

// The pieces as line reads into a 4096-byte buffer give them, byte by byte.
std::vector<std::string> plain_pieces(const std::string &bytes) {
  FILE *file = file_of(bytes);
  std::vector<std::string> pieces;
  std::string piece;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    piece.push_back(static_cast<char>(c));
    if (c == '\n' || piece.size() == kLinePieceMax) {
      pieces.push_back(piece);
      piece.clear();
    }
  }
  if (!piece.empty()) pieces.push_back(piece);
  std::fclose(file);
  return pieces;
}

std::vector<std::string> reader_pieces(const std::string &bytes, size_t capacity) {
  FILE *file = file_of(bytes);
  std::vector<char> buffer(capacity);
  LineReader reader{};
  line_reader_start(&reader, file, buffer.data(), buffer.size());
  std::vector<std::string> pieces;
  const char *text = nullptr;
  size_t length = 0;
  while (line_reader_next(&reader, &text, &length) != 0) pieces.emplace_back(text, length);
  // The end stays the end.
  EXPECT_EQ(line_reader_next(&reader, &text, &length), 0);
  std::fclose(file);
  return pieces;
}

// Bytes drawn mostly from the ones that cut or end lines.
std::string random_bytes(TestRandom *random, size_t size) {
  static const char kAlphabet[] = {'\n', '\r', '\0', 'x', 'x', 'x', '"', '{'};
  std::string bytes(size, ' ');
  // Runs of one byte make long lines as well as many empty ones.
  size_t i = 0;
  while (i < size) {
    const char c = random->next() % 50 == 0 ? static_cast<char>(random->next() % 256)
                                            : kAlphabet[random->next() % sizeof kAlphabet];
    const size_t run = random->next() % 8 == 0 ? random->next() % 9000 : 1 + random->next() % 40;
    for (size_t k = 0; k < run && i < size; ++k) bytes[i++] = c;
  }
  return bytes;
}

TEST(LineReader, CutsLikeLineReadsWhateverTheBlockSize) {
  const std::string x4094(4094, 'x');
  std::vector<std::string> logs = {
      "",
      "\n",
      "\n\n\n",
      "one line\n",
      "no ending",
      "a\nb\nlast without ending",
      x4094 + "\n",
      x4094 + "x\n",
      x4094 + "xx\n",
      x4094 + "x" + x4094 + "x" + x4094 + "x",
      x4094 + "x\n" + x4094 + "\n\n",
      std::string(3 * kLinePieceMax + 7, '\n'),
      std::string("nul\0inside\n\0\0\n", 15),
      std::string(5000, '\0'),
      "crlf\r\nlines\r\n\r\nlone\rreturn\r",
  };
  TestRandom random(26);
  for (size_t size : {100, 4096, 9000, 30000, 70000}) logs.push_back(random_bytes(&random, size));
  for (const std::string &log : logs) {
    const std::vector<std::string> expected = plain_pieces(log);
    for (size_t capacity : {kLinePieceMax, kLinePieceMax + 1, size_t{4096 + 17}, size_t{8190},
                            size_t{12288}, size_t{1} << 16}) {
      EXPECT_EQ(reader_pieces(log, capacity), expected)
          << "log of " << log.size() << " bytes, buffer of " << capacity;
    }
  }
}

TEST(LineReader, ReplayOfALargeLogEqualsTheReplayOfItsPlainPieces) {
  // Larger than the replay's own block, with lines of every length around a
  // piece's: the record must not depend on where the blocks end.
  TestRandom random(2611);
  std::string log;
  int64_t offset = 0;
  static const char *const kEvents[] = {"agent_run_start", "tool_use", "agent_idle", "user_message",
                                        "session_start"};
  while (log.size() < 1500000) {
    offset += static_cast<int64_t>(random.next() % 30);
    const size_t pad = random.next() % 4 == 0 ? random.next() % 9000 : random.next() % 300;
    const char *event = kEvents[random.next() % 5];
    std::string line = event_line(ts_at(offset), event,
                                  ",\"tool\":\"T" + std::to_string(random.next() % 60) +
                                      "\",\"x\":\"" + std::string(pad, 'p') + "\"");
    if (random.next() % 3 == 0) line.insert(line.size() - 1, "\r");
    if (random.next() % 50 == 0) line.insert(line.size() / 2, std::string(1, '\0'));
    log += line;
  }
  log += event_line(ts_at(offset + 5), "tool_use", ",\"tool\":\"last\"");
  log.pop_back();  // the last line without its line feed

  // Cleared byte for byte, padding included, as the records are compared whole.
  SessionRecord streamed;
  SessionRecord plain;
  std::memset(&streamed, 0, sizeof streamed);
  std::memset(&plain, 0, sizeof plain);
  FILE *file = file_of(log);
  replay_events(file, &streamed);
  std::fclose(file);

  ReplayState state{};
  for (const std::string &piece : plain_pieces(log)) {
    replay_line_plain(piece.data(), piece.size(), &state, &plain);
  }
  replay_finish(&state, &plain);
  EXPECT_EQ(std::memcmp(&streamed, &plain, sizeof plain), 0);
  EXPECT_GT(plain.turns, 100);
  EXPECT_EQ(plain.tool_count, kMaxTools);
}

}  // namespace
