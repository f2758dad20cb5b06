// Helpers shared by the tests: scratch folders, files, and captured output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  // path() + "/" + relative
  std::string at(const std::string &relative) const;

 private:
  std::string path_;
};

// Writes `content` to `path`, creating the parent folders.
void write_file(const std::string &path, const std::string &content);
void make_dirs(const std::string &path);
std::string read_file(const std::string &path);
// Sets the modification (and access) time of `path` to `seconds` after
// 1970 plus `nanoseconds`.
void set_modified_time(const std::string &path, long long seconds, long nanoseconds = 0);

// Everything `body` writes to standard output.
std::string capture_stdout(const std::function<void()> &body);

// How many times `needle` occurs in `text` (overlapping occurrences included).
size_t count_of(const std::string &text, const std::string &needle);

// A repeatable stream of pseudo-random numbers for generated test cases.
class TestRandom {
 public:
  explicit TestRandom(uint64_t seed) : state_(seed) {}
  // The next number, below 2^31.
  size_t next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<size_t>(state_ >> 33);
  }

 private:
  uint64_t state_;
};

// One event line as the agent writes it: {"ts":"...","event":"..."<extra>}.
std::string event_line(const std::string &ts, const std::string &event,
                       const std::string &extra = "");
// "2024-01-01 00:00:00" plus `offset` seconds, formatted as the agent does.
std::string ts_at(long long offset);
