#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

int qv_is_dir(const char *path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
}

FILE *qv_open_file(const char *path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return nullptr;
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return nullptr;
  return std::fopen(path, "rb");
}

int qv_modified_time(const char *path, EntryKind kind, int64_t *time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExA(path, GetFileExInfoStandard, &data) == 0) return 0;
  const bool is_dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool is_device = (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0;
  const bool wanted = kind == EntryKind::kDirectory ? is_dir : !is_dir && !is_device;
  if (!wanted) return 0;
  const uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                         data.ftLastWriteTime.dwLowDateTime;
  *time = static_cast<int64_t>(ticks);
  return 1;
}

int qv_list_dir(const char *path, DirVisitor visit, void *context) {
  // The root holds at most 1023 bytes, so the pattern always fits.
  char pattern[1032];
  std::snprintf(pattern, sizeof pattern, "%s/*", path);
  WIN32_FIND_DATAA entry;
  HANDLE handle = FindFirstFileA(pattern, &entry);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  do {
    visit(entry.cFileName, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0,
          context);
  } while (FindNextFileA(handle, &entry) != 0);
  FindClose(handle);
  return 1;
}

SessionsRootCandidate qv_app_data_sessions_root() {
  return {"LOCALAPPDATA", "\\quorvane\\sessions"};
}

SessionsRootCandidate qv_profile_sessions_root() {
  return {"USERPROFILE", "\\.quorvane\\sessions"};
}

const char *qv_fallback_sessions_root() {
  return "quorvane\\sessions";
}

void qv_prepare_stdout() {
  _setmode(_fileno(stdout), _O_BINARY);
}
