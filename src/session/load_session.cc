#include "session/load_session.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "session/line_reader.h"
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

// Every load's beginning: an empty record named by its folder, and meta.json.
// Answers 0 when root/name is not an existing directory.
int begin_load(const char *root, const char *name, SessionRecord *record,
               char (&text)[kJsonFileMax + 1]) {
  std::memset(record, 0, sizeof *record);
  str_copy(record->dir, sizeof record->dir, name);
  str_copy(record->id, sizeof record->id, name);

  char path[1024];
  std::snprintf(path, sizeof path, "%s/%s", root, name);
  if (qv_is_dir(path) == 0) return 0;

  std::snprintf(path, sizeof path, "%s/%s/meta.json", root, name);
  if (read_json_file(path, text) > 0) read_meta(text, record);
  return 1;
}

// Both loads; the plugin's replay is told nothing.
int load_with(const char *root, const char *name, SessionRecord *record,
              const ReplayObserver *observer) {
  static char text[kJsonFileMax + 1];
  if (begin_load(root, name, record, text) == 0) return 0;
  char path[1024];

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
  static char text[kJsonFileMax + 1];
  if (begin_load(root, name, record, text) == 0) return 0;
  char path[1024];
  std::snprintf(path, sizeof path, "%s/%s/events.jsonl", root, name);
  FILE *log = qv_open_file(path);
  if (log == nullptr) return 1;
  // Pieces cut as the whole replay cuts them, up to the first that is
  // accepted, in small reads: the first line is most often all it takes.
  static char buffer[2 * kLinePieceMax];
  LineReader reader;
  line_reader_start(&reader, log, buffer, sizeof buffer);
  ReplayState state{};
  const char *piece = nullptr;
  size_t length = 0;
  while (record->first_epoch == 0 && line_reader_next(&reader, &piece, &length) != 0) {
    replay_line(piece, length, &state, record);
  }
  std::fclose(log);
  return 1;
}
