// Writes a deterministic sessions root: folders with meta.json, stats.json,
// events.jsonl and, for live sessions, the "thinking" marker. Used for the
// bundled samples, by the tests and by the benchmark.
//
//   qv_make_sessions OUT_DIR [--sessions N] [--log-bytes BYTES] [--seed S] [--days D]
//
// Without --log-bytes each session gets a few dozen turns; with it, turns are
// added until the log holds about that many bytes. Sessions start an hour and
// a half apart; with --days they are spread over D days instead, and each
// session's files are dated at its last event, as the agent's would be. Lines put "ts" first and
// "event" second; tool calls carry argument and result strings of 50 B to 8 KB
// with escaped quotes, \n, \t and UTF-8 text, so that about 3% of the lines are
// longer than 4095 bytes. With --log-bytes, as in real logs full of long tool
// results, about 0.5% of the lines also carry a result of 64 KB to 96 KB.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high].
  int64_t between(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(next() % static_cast<uint64_t>(high - low + 1));
  }
  bool chance(int percent) { return between(1, 100) <= percent; }
  template <size_t N>
  const char *pick(const char *const (&items)[N]) {
    return items[next() % N];
  }
};

const char *const kProfiles[] = {"coder", "reviewer", "planner", "debugger"};
const char *const kModels[] = {"sonnet-4.5", "opus-4.1", "haiku-4.5", "gpt-5-codex"};
const char *const kProviders[] = {"anthropic", "anthropic", "anthropic", "openai"};
const char *const kTools[] = {"Bash", "Read",     "Edit",      "Write", "Grep",
                              "Glob", "WebFetch", "TodoWrite", "Task",  "MultiEdit"};
const char *const kProjects[] = {"billing-api",   "web-client", "infra",
                                 "data-pipeline", "mobile-app", "docs-site"};
const char *const kBranches[] = {"main", "feature/retry-queue", "fix/login-timeout", "chore/deps",
                                 "feature/dark-mode"};
const char *const kWords[] = {
    "func",     "return",   "error",  "const", "value",           "\\\"quoted\\\"",
    "\\n",      "\\t",      "résumé", "naïve", "日本語",          "données",
    "Grüße",    "emoji 🚀",  "if (x)", "{ }",   "path/to/file.go", "self.assert",
    "SELECT *", "npm test", "ok",     "FAIL"};

std::string timestamp(int64_t epoch) {
  int64_t days = epoch / 86400;
  int64_t rest = epoch % 86400;
  // Civil date from days since 1970-01-01.
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[128];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest % 3600 / 60), static_cast<long long>(rest % 60));
  return text;
}

// JSON string content (already escaped) of about `length` bytes.
std::string filler(Random &random, size_t length) {
  std::string text;
  while (text.size() < length) {
    text += random.pick(kWords);
    text += ' ';
  }
  return text;
}

// Mostly short results, a few very long ones: about 3% of tool lines end up
// longer than 4095 bytes and the mean line is about 1 KB.
size_t result_length(Random &random, bool huge_results) {
  if (huge_results && random.between(1, 1000) <= 7) {
    return static_cast<size_t>(random.between(65600, 96000));
  }
  if (random.chance(4)) return static_cast<size_t>(random.between(4200, 8000));
  return static_cast<size_t>(random.between(50, 1600));
}

FILE *open_or_exit(const std::string &path) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  return file;
}

struct Writer {
  FILE *file;
  size_t bytes;
  void line(const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fputc('\n', file);
    bytes += text.size() + 1;
  }
};

std::string event(int64_t t, const char *kind, const std::string &extra = "") {
  return std::string("{\"ts\":\"") + timestamp(t) + "\",\"event\":\"" + kind + "\"" + extra + "}";
}

// Dates a file as written at `epoch`.
void set_modified(const std::string &path, int64_t epoch) {
  const timespec times[2] = {{static_cast<time_t>(epoch), 0}, {static_cast<time_t>(epoch), 0}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

struct Layout {
  int sessions;
  size_t log_bytes;
  int days;  // 0: sessions an hour and a half apart
};

void make_session(const std::string &root, int index, Random &random, const Layout &layout,
                  int64_t base_epoch) {
  const size_t log_bytes = layout.log_bytes;
  char name[64];
  std::snprintf(name, sizeof name, "sess-%04d", index);
  const std::string dir = root + "/" + name;
  mkdir(dir.c_str(), 0755);
  const size_t m = static_cast<size_t>(random.between(0, 3));
  const char *profile = random.pick(kProfiles);
  const char *project = random.pick(kProjects);
  // Sessions start hours apart, the newest last.
  const int64_t spacing =
      layout.days > 0 ? int64_t{layout.days} * 86400 / (layout.sessions > 0 ? layout.sessions : 1)
                      : 5400;
  int64_t t =
      base_epoch + index * spacing + random.between(0, layout.days > 0 ? spacing / 2 : 1800);
  const int64_t start = t;
  const bool live = index % 12 == 9;

  FILE *meta = open_or_exit(dir + "/meta.json");
  std::fprintf(meta,
               "{\"id\":\"%s\",\"profile\":\"%s\",\"model\":\"%s\",\"provider\":\"%s\","
               "\"cwd\":\"/home/dev/src/%s\",\"start_time\":\"%s\",\"start_epoch\":%lld}\n",
               name, profile, kModels[m], kProviders[m], project, timestamp(start).c_str(),
               static_cast<long long>(start));
  std::fclose(meta);

  Writer log{open_or_exit(dir + "/events.jsonl"), 0};
  log.line(event(t, "session_start",
                 std::string(",\"model\":\"") + kModels[m] + "\",\"provider\":\"" + kProviders[m] +
                     "\",\"profile\":\"" + profile + "\""));
  const int planned_turns = static_cast<int>(random.between(3, 14));
  long long tokens_in = 0;
  long long tokens_out = 0;
  for (int turn = 0; log_bytes > 0 ? log.bytes < log_bytes : turn < planned_turns; ++turn) {
    t += random.between(5, 240);  // the user reads and types
    log.line(event(
        t, "user_message",
        ",\"text\":\"" + filler(random, static_cast<size_t>(random.between(20, 300))) + "\""));
    t += random.between(1, 3);
    log.line(event(t, "agent_run_start"));
    const int calls = static_cast<int>(random.between(1, 12));
    for (int c = 0; c < calls; ++c) {
      t += random.between(2, 45);
      const std::string args = filler(random, static_cast<size_t>(random.between(50, 400)));
      const std::string result = filler(random, result_length(random, log_bytes > 0));
      log.line(event(t, "tool_use",
                     std::string(",\"tool\":\"") + random.pick(kTools) + "\",\"input\":\"" + args +
                         "\",\"output\":\"" + result + "\""));
      tokens_in += random.between(500, 9000);
      tokens_out += random.between(50, 900);
    }
    t += random.between(3, 60);
    log.line(event(t, random.chance(8) ? "session_compact" : "agent_idle"));
  }
  if (live) {
    t += random.between(2, 20);
    log.line(event(t, "agent_run_start"));
    std::fclose(open_or_exit(dir + "/thinking"));
  } else {
    log.line(event(t + 1, "agent_complete"));
    log.line(event(t + 2, "session_end"));
  }
  std::fclose(log.file);

  FILE *stats = open_or_exit(dir + "/stats.json");
  std::fprintf(stats,
               "{\"model\":\"%s\",\"branch\":\"%s\",\"input_tokens\":%lld,\"output_tokens\":%lld,"
               "\"cache_read_tokens\":%lld,\"cache_creation_tokens\":%lld}\n",
               kModels[m], random.pick(kBranches), tokens_in, tokens_out, tokens_in * 3,
               tokens_in / 4);
  std::fclose(stats);
  if (layout.days > 0) {
    const int64_t last = live ? t : t + 2;
    for (const char *file : {"meta.json", "stats.json", "events.jsonl", "thinking"}) {
      if (live || std::strcmp(file, "thinking") != 0) set_modified(dir + "/" + file, last);
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || argv[1][0] == '-') {
    std::fprintf(stderr,
                 "usage: %s OUT_DIR [--sessions N] [--log-bytes BYTES] [--seed S] [--days D]\n",
                 argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  Layout layout = {12, 0, 0};
  uint64_t seed = 1;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--sessions") == 0) layout.sessions = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--log-bytes") == 0)
      layout.log_bytes = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--seed") == 0) seed = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--days") == 0) layout.days = std::atoi(argv[i + 1]);
  }
  mkdir(root.c_str(), 0755);
  Random random{seed};
  const int64_t base_epoch = 1796000000;  // early December 2026
  for (int i = 0; i < layout.sessions; ++i) make_session(root, i, random, layout, base_epoch);
  return 0;
}
