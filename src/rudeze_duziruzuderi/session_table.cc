#include "rudeze_duziruzuderi/session_table.h"

#include <cstring>

#include "platform/platform.h"
#include "session/load_session.h"
#include "text/str_copy.h"

namespace {

void take_entry(const char *name, int is_dir, void *context) {
  auto *table = static_cast<SessionTable *>(context);
  if (is_dir == 0 || name[0] == '.' || table->name_count >= kMaxSessionNames) return;
  str_copy(table->names[table->name_count], sizeof table->names[0], name);
  ++table->name_count;
}

}  // namespace

void scan_session_dirs(SessionTable *table, const char *root) {
  table->name_count = 0;
  qv_list_dir(root, take_entry, table);
}

void load_session_table(SessionTable *table, const char *root, SessionRecord *scratch) {
  table->count = 0;
  for (int i = 0; i < table->name_count && table->count < kMaxSessions; ++i) {
    if (load_session(root, table->names[i], scratch) != 0) {
      std::memcpy(&table->records[table->count], scratch, sizeof *scratch);
      ++table->count;
    }
  }
}

const SessionRecord *find_session(const SessionTable *table, const char *sid) {
  for (int i = 0; i < table->count; ++i) {
    const SessionRecord *record = &table->records[i];
    if (std::strcmp(record->dir, sid) == 0 || std::strcmp(record->id, sid) == 0) return record;
  }
  return nullptr;
}
