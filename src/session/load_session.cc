#include "session/load_session.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "session/replay.h"
#include "text/json_lookup.h"
#include "text/str_copy.h"

namespace {

// meta.json and stats.json are examined up to this many bytes, read at once.
constexpr size_t kJsonFileMax = 16383;

// Reads the start of a JSON file into `text` (NUL-terminated); answers the
// number of bytes read, 0 when the file cannot be opened or is empty.
size_t read_json_file(const char *path, char (&text)[kJsonFileMax + 1]) {
  FILE *file = qv_open_file(path);
  if (file == nullptr) return 0;
  const size_t got = std::fread(text, 1, kJsonFileMax, file);
  std::fclose(file);
  text[got] = '\0';
  return got;
}

void read_int64(const char *text, const char *key, int64_t *field) {
  double value = 0;
  if (json_get_num(text, key, &value) != 0) *field = json_num_to_int64(value);
}

void read_meta(const char *text, SessionRecord *record) {
  char id[128];
  if (json_get_str(text, "id", id, sizeof id) != 0) str_copy(record->id, sizeof record->id, id);
  json_get_str(text, "start_time", record->start_time, sizeof record->start_time);
  json_get_str(text, "model", record->model, sizeof record->model);
  json_get_str(text, "provider", record->provider, sizeof record->provider);
  json_get_str(text, "profile", record->profile, sizeof record->profile);
  json_get_str(text, "cwd", record->cwd, sizeof record->cwd);
  read_int64(text, "start_epoch", &record->start_epoch);
}

void read_stats(const char *text, SessionRecord *record) {
  if (record->model[0] == '\0') json_get_str(text, "model", record->model, sizeof record->model);
  if (record->cwd[0] == '\0') json_get_str(text, "cwd", record->cwd, sizeof record->cwd);
  json_get_str(text, "branch", record->branch, sizeof record->branch);
  read_int64(text, "input_tokens", &record->tokens_in);
  read_int64(text, "output_tokens", &record->tokens_out);
  read_int64(text, "cache_read_tokens", &record->cache_read);
  read_int64(text, "cache_creation_tokens", &record->cache_write);
}

// Both loads; the plugin's replay is told nothing.
int load_with(const char *root, const char *name, SessionRecord *record,
              const ReplayObserver *observer) {
  std::memset(record, 0, sizeof *record);
  str_copy(record->dir, sizeof record->dir, name);
  str_copy(record->id, sizeof record->id, name);

  char path[1024];
  std::snprintf(path, sizeof path, "%s/%s", root, name);
  if (qv_is_dir(path) == 0) return 0;

  static char text[kJsonFileMax + 1];
  std::snprintf(path, sizeof path, "%s/%s/meta.json", root, name);
  if (read_json_file(path, text) > 0) read_meta(text, record);

  std::snprintf(path, sizeof path, "%s/%s/stats.json", root, name);
  if (read_json_file(path, text) > 0) read_stats(text, record);

  std::snprintf(path, sizeof path, "%s/%s/thinking", root, name);
  if (FILE *marker = qv_open_file(path)) {
    std::fclose(marker);
    record->is_active = 1;
  }

  std::snprintf(path, sizeof path, "%s/%s/events.jsonl", root, name);
  if (FILE *log = qv_open_file(path)) {
    if (observer == nullptr) {
      replay_events(log, record);
    } else {
      replay_events_observed(log, record, *observer);
    }
    std::fclose(log);
  }

  compute_totals(record);
  return 1;
}

}  // namespace

int load_session(const char *root, const char *name, SessionRecord *record) {
  return load_with(root, name, record, nullptr);
}

int load_session_observed(const char *root, const char *name, SessionRecord *record,
                          const ReplayObserver &observer) {
  return load_with(root, name, record, &observer);
}

int load_session_start(const char *root, const char *name, SessionRecord *record) {
  std::memset(record, 0, sizeof *record);
  str_copy(record->dir, sizeof record->dir, name);
  str_copy(record->id, sizeof record->id, name);
  char path[1024];
  std::snprintf(path, sizeof path, "%s/%s", root, name);
  if (qv_is_dir(path) == 0) return 0;
  static char text[kJsonFileMax + 1];
  std::snprintf(path, sizeof path, "%s/%s/meta.json", root, name);
  if (read_json_file(path, text) > 0) read_meta(text, record);
  std::snprintf(path, sizeof path, "%s/%s/events.jsonl", root, name);
  FILE *log = qv_open_file(path);
  if (log == nullptr) return 1;
  // Pieces cut as the whole replay cuts them, after a line feed or after
  // kLinePieceMax bytes, up to the first that is accepted.
  static char buffer[1 << 16];
  ReplayState state{};
  size_t begin = 0;
  size_t filled = 0;
  bool at_end = false;
  while (record->first_epoch == 0) {
    const size_t available = filled - begin;
    const size_t window = available < kLinePieceMax ? available : kLinePieceMax;
    const char *start = buffer + begin;
    const void *newline = std::memchr(start, '\n', window);
    size_t piece = 0;
    if (newline != nullptr) {
      piece = static_cast<size_t>(static_cast<const char *>(newline) - start) + 1;
    } else if (window == kLinePieceMax || (at_end && available > 0)) {
      piece = window;
    } else if (at_end) {
      break;
    } else {
      std::memmove(buffer, start, available);
      begin = 0;
      filled = available;
      // Small reads: the first line is most often all it takes.
      const size_t room = sizeof buffer - filled;
      const size_t got = std::fread(buffer + filled, 1, room < 8192 ? room : 8192, log);
      filled += got;
      at_end = got == 0;
      continue;
    }
    replay_line(start, piece, &state, record);
    begin += piece;
  }
  std::fclose(log);
  return 1;
}
