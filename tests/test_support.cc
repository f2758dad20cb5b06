#include "test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  const char *base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/qv_test_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::at(const std::string &relative) const {
  return path_ + "/" + relative;
}

void make_dirs(const std::string &path) {
  std::filesystem::create_directories(path);
}

void write_file(const std::string &path, const std::string &content) {
  make_dirs(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void set_modified_time(const std::string &path, long long seconds, long nanoseconds) {
  const timespec times[2] = {{static_cast<time_t>(seconds), nanoseconds},
                             {static_cast<time_t>(seconds), nanoseconds}};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    throw std::runtime_error("cannot set the time of " + path);
  }
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string capture_stdout(const std::function<void()> &body) {
  std::fflush(stdout);
  FILE *sink = std::tmpfile();
  if (sink == nullptr) throw std::runtime_error("tmpfile failed");
  const int saved = dup(fileno(stdout));
  dup2(fileno(sink), fileno(stdout));
  body();
  std::fflush(stdout);
  dup2(saved, fileno(stdout));
  close(saved);
  std::string captured;
  std::rewind(sink);
  char chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, sink)) > 0) captured.append(chunk, got);
  std::fclose(sink);
  return captured;
}

size_t count_of(const std::string &text, const std::string &needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

std::string event_line(const std::string &ts, const std::string &event, const std::string &extra) {
  return "{\"ts\":\"" + ts + "\",\"event\":\"" + event + "\"" + extra + "}\n";
}

std::string ts_at(long long offset) {
  const time_t t = static_cast<time_t>(1704067200LL + offset);
  std::tm parts{};
  gmtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}
