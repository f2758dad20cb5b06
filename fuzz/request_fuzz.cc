// One whole request in process: the input becomes the query string, the
// password variables and a small sessions root; the reply must be complete and
// well formed, and nothing beside the root may show up in it or be changed.
//
// The root stays from one input to the next on a memory file system and only
// what differs is rewritten, and the reply goes to a memory file: building a
// fresh root and a reply file on disk for every input cost most of the time.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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
  std::string base;  // holds the root and a session beside it
  std::string root;  // the sessions root
  int reply = -1;    // memory file that receives standard output
};

// One entry under the root, by its path relative to the root.
struct Entry {
  bool is_dir = false;
  std::string content;
  bool operator==(const Entry &) const = default;
};
using Tree = std::map<std::string, Entry>;

std::string make_temp_dir() {
  const fs::path memory = "/dev/shm";
  std::error_code ignored;
  const fs::path parent = fs::is_directory(memory, ignored) ? memory : fs::temp_directory_path();
  std::string pattern = (parent / "qv_fuzz_XXXXXX").string();
  FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
  return pattern;
}

void write_bytes(const std::string &path, const std::string &content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

const Paths &paths() {
  // Never destroyed, so that the clean-up at exit still finds the paths.
  static const Paths &kPaths = *[] {
    auto *made = new Paths;
    Paths &p = *made;
    p.base = make_temp_dir();
    p.root = p.base + "/root";
    p.reply = memfd_create("qv_fuzz_reply", 0);
    FUZZ_CHECK(p.reply >= 0);
    // A complete session beside the root: no request may ever reach it.
    fs::create_directories(p.base + "/outside");
    fs::create_directories(p.root);
    write_bytes(p.base + "/outside/meta.json", std::string("{\"id\":\"") + kOutsideMarker +
                                                   "\",\"model\":\"" + kOutsideMarker + "\"}");
    write_bytes(p.base + "/outside/events.jsonl",
                "{\"ts\":\"2024-01-01 00:00:00\",\"event\":\"session_start\"}\n");
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(paths().base, ignored);
    });
    return made;
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

// What the input's sessions make of the root. As on a disk, whatever is made
// first at a path keeps its kind: a file is never replaced by a directory nor
// the other way round, and a file written again takes the last content.
Tree plan_root(const std::vector<std::string> &parts) {
  Tree tree;
  auto put_file = [&](const std::string &path, const std::string &content) {
    auto [at, added] = tree.try_emplace(path, Entry{false, content});
    if (!added && !at->second.is_dir) at->second.content = content;
  };
  auto put_dir = [&](const std::string &path) {
    return tree.try_emplace(path, Entry{true, ""}).first->second.is_dir;
  };
  for (size_t first = 4, made = 0; first < parts.size() && made < kMaxSessions; first += 4) {
    if (parts[first].empty()) continue;
    ++made;
    const auto flags = static_cast<unsigned char>(parts[first][0]);
    const std::string name = safe_name(parts[first].substr(1));
    if (name.empty()) continue;
    auto part = [&](size_t k) { return first + k < parts.size() ? parts[first + k] : ""; };
    if ((flags & kNameIsFile) != 0) {
      tree.try_emplace(name, Entry{false, part(1)});
      continue;
    }
    if (!put_dir(name)) continue;
    if ((flags & kMetaIsDir) != 0) {
      put_dir(name + "/meta.json");
    } else {
      put_file(name + "/meta.json", part(1));
    }
    put_file(name + "/stats.json", part(2));
    if ((flags & kEventsIsDir) != 0) {
      put_dir(name + "/events.jsonl");
    } else {
      put_file(name + "/events.jsonl", part(3));
    }
    if ((flags & kThinking) != 0) put_file(name + "/thinking", "");
  }
  return tree;
}

// Brings the root from what the last input made of it to `wanted`. In path
// order a directory comes before what it holds, so removals run backwards and
// creations forwards.
void update_root(const Tree &wanted) {
  static Tree on_disk;
  for (auto at = on_disk.rbegin(); at != on_disk.rend(); ++at) {
    const auto kept = wanted.find(at->first);
    if (kept == wanted.end() || kept->second.is_dir != at->second.is_dir) {
      fs::remove_all(paths().root + "/" + at->first);
    }
  }
  for (const auto &[path, entry] : wanted) {
    const auto old = on_disk.find(path);
    const bool present = old != on_disk.end() && old->second.is_dir == entry.is_dir;
    if (entry.is_dir) {
      if (!present) fs::create_directory(paths().root + "/" + path);
    } else if (!present || old->second.content != entry.content) {
      write_bytes(paths().root + "/" + path, entry.content);
    }
  }
  on_disk = wanted;
}

size_t top_level_entries(const Tree &tree) {
  size_t count = 0;
  for (const auto &[path, entry] : tree) {
    if (path.find('/') == std::string::npos) ++count;
  }
  return count;
}

size_t entries_in(const std::string &dir) {
  size_t count = 0;
  for (const auto &entry : fs::directory_iterator(dir)) {
    (void)entry;
    ++count;
  }
  return count;
}

std::string run_request() {
  const int reply = paths().reply;
  FUZZ_CHECK(ftruncate(reply, 0) == 0 && lseek(reply, 0, SEEK_SET) == 0);
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  FUZZ_CHECK(saved >= 0);
  dup2(reply, STDOUT_FILENO);
  char program[] = "rudeze_duziruzuderi";
  char *argv[] = {program, nullptr};
  const int status = handle_request(1, argv);
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  FUZZ_CHECK(status == 0);
  const off_t size = lseek(reply, 0, SEEK_CUR);
  FUZZ_CHECK(size >= 0);
  std::string text(static_cast<size_t>(size), '\0');
  FUZZ_CHECK(pread(reply, text.data(), text.size(), 0) == size);
  return text;
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

int hex_digit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The input as the replies may spell it: percent escapes decoded (a sid is
// echoed decoded), then without control bytes and DEL (JSON strings drop
// them) and without backslashes (the JSON lookup drops those of escapes). The
// marker may show in a reply only when the input spells it out this way.
std::string spelled_out(const uint8_t *data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    uint8_t c = data[i];
    if (c == '%' && i + 2 < size && hex_digit(data[i + 1]) >= 0 && hex_digit(data[i + 2]) >= 0) {
      c = static_cast<uint8_t>(hex_digit(data[i + 1]) * 16 + hex_digit(data[i + 2]));
      i += 2;
    }
    if (c >= 0x20 && c != 0x7F && c != '\\') text += static_cast<char>(c);
  }
  return text;
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
  const Tree wanted = plan_root(parts);
  update_root(wanted);

  const std::string reply = run_request();
  check_reply(reply);

  if (spelled_out(data, size).find("OUTSIDE") == std::string::npos) {
    FUZZ_CHECK(reply.find(kOutsideMarker) == std::string::npos);
  }
  // The program writes nothing: beside the root only the outside session
  // stays, and the root holds just what the input made.
  FUZZ_CHECK(entries_in(paths().base) == 2);
  FUZZ_CHECK(entries_in(paths().root) == top_level_entries(wanted));
  return 0;
}
