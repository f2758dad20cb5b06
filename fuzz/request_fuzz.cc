// One whole request in process: the input becomes the query string, the
// password variables and a small sessions root; the reply must be complete and
// well formed, and nothing beside the root may show up in it or be changed.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/json_check.h"
#include "fuzz_check.h"
#include "rudeze_duziruzuderi/request.h"

namespace fs = std::filesystem;

namespace {

// Sections of the input, in order: query string, BOT_PASSWORD,
// HTTP_X_BOT_PASSWORD, HTTP_AUTHORIZATION, then per session a name (its first
// byte holds flags), meta.json, stats.json and events.jsonl. A missing section
// leaves its variable unset.
constexpr char kSeparator = '\x1f';
constexpr int kMaxSessions = 4;

// Flags of a session name's first byte.
constexpr unsigned kThinking = 1U;
constexpr unsigned kNameIsFile = 2U;
constexpr unsigned kEventsIsDir = 4U;
constexpr unsigned kMetaIsDir = 8U;

const char kOutsideMarker[] = "OUTSIDE-MARKER-5e1";

struct Paths {
  std::string base;   // holds the root and a session beside it
  std::string root;   // the sessions root
  std::string reply;  // where standard output goes
};

std::string make_temp_dir() {
  std::string pattern = (fs::temp_directory_path() / "qv_fuzz_XXXXXX").string();
  FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
  return pattern;
}

void write_bytes(const std::string &path, const std::string &content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

const Paths &paths() {
  static const Paths kPaths = [] {
    Paths p;
    p.base = make_temp_dir();
    p.root = p.base + "/root";
    p.reply = make_temp_dir() + "/reply";
    // A complete session beside the root: no request may ever reach it.
    fs::create_directories(p.base + "/outside");
    write_bytes(p.base + "/outside/meta.json", std::string("{\"id\":\"") + kOutsideMarker +
                                                   "\",\"model\":\"" + kOutsideMarker + "\"}");
    write_bytes(p.base + "/outside/events.jsonl",
                "{\"ts\":\"2024-01-01 00:00:00\",\"event\":\"session_start\"}\n");
    return p;
  }();
  return kPaths;
}

std::vector<std::string> split(const uint8_t *data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == static_cast<uint8_t>(kSeparator)) {
      parts.emplace_back();
    } else {
      parts.back() += static_cast<char>(data[i]);
    }
  }
  return parts;
}

void set_or_unset(const char *name, const std::vector<std::string> &parts, size_t index) {
  if (index < parts.size()) {
    setenv(name, parts[index].c_str(), 1);
  } else {
    unsetenv(name);
  }
}

std::string safe_name(const std::string &raw) {
  std::string name = raw.substr(0, 200);
  for (char &c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name == "." || name == "..") name = "d" + name;
  return name;
}

void build_root(const std::vector<std::string> &parts) {
  fs::create_directories(paths().root);
  for (size_t first = 4, made = 0; first < parts.size() && made < kMaxSessions; first += 4) {
    if (parts[first].empty()) continue;
    ++made;
    const auto flags = static_cast<unsigned char>(parts[first][0]);
    const std::string name = safe_name(parts[first].substr(1));
    if (name.empty()) continue;
    const std::string dir = paths().root + "/" + name;
    auto part = [&](size_t k) { return first + k < parts.size() ? parts[first + k] : ""; };
    std::error_code ignored;
    if ((flags & kNameIsFile) != 0) {
      if (!fs::exists(dir, ignored)) write_bytes(dir, part(1));
      continue;
    }
    fs::create_directories(dir, ignored);
    if (!fs::is_directory(dir, ignored)) continue;
    if ((flags & kMetaIsDir) != 0) {
      fs::create_directories(dir + "/meta.json", ignored);
    } else {
      write_bytes(dir + "/meta.json", part(1));
    }
    write_bytes(dir + "/stats.json", part(2));
    if ((flags & kEventsIsDir) != 0) {
      fs::create_directories(dir + "/events.jsonl", ignored);
    } else {
      write_bytes(dir + "/events.jsonl", part(3));
    }
    if ((flags & kThinking) != 0) write_bytes(dir + "/thinking", "");
  }
}

std::string run_request() {
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int sink = open(paths().reply.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  FUZZ_CHECK(saved >= 0 && sink >= 0);
  dup2(sink, STDOUT_FILENO);
  close(sink);
  char program[] = "rudeze_duziruzuderi";
  char *argv[] = {program, nullptr};
  const int status = handle_request(1, argv);
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  FUZZ_CHECK(status == 0);
  std::ifstream in(paths().reply, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t count_of(const std::string &text, const std::string &needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

bool starts_with(const std::string &text, const std::string &prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

void check_reply(const std::string &reply) {
  static const std::string kRefusal =
      "Status: 401 Unauthorized\r\nContent-Type: application/json; charset=utf-8\r\n\r\n"
      "{\"ok\":false,\"error\":\"invalid node password\"}\n";
  static const std::string kJson = "Content-Type: application/json; charset=utf-8\r\n";
  static const std::string kHtml = "Content-Type: text/html; charset=utf-8\r\n";
  if (starts_with(reply, "Status: ")) {
    FUZZ_CHECK(reply == kRefusal);
  } else if (starts_with(reply, kJson)) {
    const std::string problem = json_reply_error(reply);
    if (!problem.empty()) std::fprintf(stderr, "%s\n", problem.c_str());
    FUZZ_CHECK(problem.empty());
    FUZZ_CHECK(reply.find("\r\n\r\n{\"ok\":") != std::string::npos);
  } else {
    FUZZ_CHECK(starts_with(reply, kHtml));
    static const std::string kEnd = "</script></body></html>\n";
    FUZZ_CHECK(reply.size() > kEnd.size() &&
               reply.compare(reply.size() - kEnd.size(), kEnd.size(), kEnd) == 0);
    // The sid written into the page's script must not be able to end it: the
    // page holds as many closing tags as the page without a sid.
    static const size_t closings = [] {
      unsetenv("BOT_PASSWORD");
      unsetenv("QUERY_STRING");
      return count_of(run_request(), "</");
    }();
    FUZZ_CHECK(count_of(reply, "</") == closings);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::vector<std::string> parts = split(data, size);
  unsetenv("QV_PLUGIN_META");
  setenv("QV_SESSIONS_DIR", paths().root.c_str(), 1);
  set_or_unset("QUERY_STRING", parts, 0);
  set_or_unset("BOT_PASSWORD", parts, 1);
  set_or_unset("HTTP_X_BOT_PASSWORD", parts, 2);
  set_or_unset("HTTP_AUTHORIZATION", parts, 3);
  build_root(parts);

  const std::string reply = run_request();
  check_reply(reply);

  const std::string input(reinterpret_cast<const char *>(data), size);
  if (input.find("OUTSIDE") == std::string::npos) {
    FUZZ_CHECK(reply.find(kOutsideMarker) == std::string::npos);
  }
  // The program writes nothing: beside the root only the outside session stays.
  size_t entries = 0;
  for (const auto &entry : fs::directory_iterator(paths().base)) {
    (void)entry;
    ++entries;
  }
  FUZZ_CHECK(entries == 2);
  fs::remove_all(paths().root);
  return 0;
}
