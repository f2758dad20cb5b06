#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace {

// Readers let the agent write, rename and delete the files they read: a
// request must never make the agent's own operation fail.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The attributes of what `path` names with links followed. GetFileAttributesA
// and FindFirstFileA describe a symbolic link or junction itself, so a reparse
// point is opened (which follows it) and its target asked; a dangling link
// answers INVALID_FILE_ATTRIBUTES, as a missing path does.
DWORD followed_attributes(const char *path, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return attributes;
  }
  HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
  BY_HANDLE_FILE_INFORMATION info;
  const DWORD target = GetFileInformationByHandle(handle, &info) != 0 ? info.dwFileAttributes
                                                                      : INVALID_FILE_ATTRIBUTES;
  CloseHandle(handle);
  return target;
}

int is_directory(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1
                                                                                               : 0;
}

}  // namespace

int qv_is_dir(const char *path) {
  return is_directory(followed_attributes(path, GetFileAttributesA(path)));
}

FILE *qv_open_file(const char *path) {
  // Only disk files that are no directories; a device or pipe name is closed
  // again unread.
  HANDLE handle = CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || GetFileInformationByHandle(handle, &info) == 0 ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    CloseHandle(handle);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  FILE *file = _fdopen(fd, "rb");
  if (file == nullptr) _close(fd);  // closes the handle as well
  return file;
}

// Windows reads ahead on its own once reads run front to back; its explicit
// hint can only be given when the file is opened.
void qv_advise_sequential(FILE * /*file*/) {}

namespace {

int modified_time(const char *path, EntryKind kind, int64_t *time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExA(path, GetFileExInfoStandard, &data) == 0) return 0;
  DWORD attributes = data.dwFileAttributes;
  FILETIME written = data.ftLastWriteTime;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // The link's target, as on POSIX; a dangling link has no time.
    HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (known == 0) return 0;
    attributes = info.dwFileAttributes;
    written = info.ftLastWriteTime;
  }
  const bool is_dir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool is_device = (attributes & FILE_ATTRIBUTE_DEVICE) != 0;
  const bool wanted = kind == EntryKind::kDirectory ? is_dir : !is_dir && !is_device;
  if (!wanted) return 0;
  const uint64_t ticks =
      (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  *time = static_cast<int64_t>(ticks);
  return 1;
}

}  // namespace

struct DirListing {
  const char *path;
};

int qv_listed_modified_time(const DirListing *listing, const char *relative, EntryKind kind,
                            int64_t *time) {
  char path[1024 + MAX_PATH];
  std::snprintf(path, sizeof path, "%s/%s", listing->path, relative);
  return modified_time(path, kind, time);
}

int qv_listed_file_size(const DirListing *listing, const char *relative, int64_t *size) {
  char path[1024 + MAX_PATH];
  std::snprintf(path, sizeof path, "%s/%s", listing->path, relative);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExA(path, GetFileExInfoStandard, &data) == 0 ||
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return 0;
  }
  *size =
      static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  return 1;
}

int qv_list_dir(const char *path, DirVisitor visit, void *context) {
  // The root holds at most 1023 bytes, so the pattern always fits.
  char pattern[1032];
  std::snprintf(pattern, sizeof pattern, "%s/*", path);
  WIN32_FIND_DATAA entry;
  HANDLE handle = FindFirstFileA(pattern, &entry);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  const DirListing listing = {path};
  do {
    DWORD attributes = entry.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      char entry_path[1024 + MAX_PATH];
      std::snprintf(entry_path, sizeof entry_path, "%s/%s", path, entry.cFileName);
      attributes = followed_attributes(entry_path, attributes);
    }
    visit(&listing, entry.cFileName, is_directory(attributes), context);
  } while (FindNextFileA(handle, &entry) != 0);
  FindClose(handle);
  return 1;
}

namespace {

// FILETIME counts 100-nanosecond ticks from 1601-01-01, this many seconds
// before 1970-01-01.
constexpr int64_t kSeconds1601To1970 = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;

}  // namespace

int64_t qv_epoch_of_modified_time(int64_t time) {
  const int64_t ticks = time - kSeconds1601To1970 * kTicksPerSecond;
  return ticks >= 0 ? ticks / kTicksPerSecond : -((-ticks + kTicksPerSecond - 1) / kTicksPerSecond);
}

int qv_path_exists(const char *path) {
  return followed_attributes(path, GetFileAttributesA(path)) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int qv_local_utc_offset(int64_t epoch, int32_t *offset) {
  // SYSTEMTIME holds the years 1601 to 30827.
  if (epoch < -kSeconds1601To1970 || epoch > 910692730085) return 0;
  const auto ticks = static_cast<uint64_t>((epoch + kSeconds1601To1970) * kTicksPerSecond);
  const FILETIME utc_file = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc;
  if (FileTimeToSystemTime(&utc_file, &utc) == 0) return 0;
  // The zone's rules for that year, as the system keeps them; most times
  // asked about fall in the year asked about before.
  static WORD rules_year = 0;
  static TIME_ZONE_INFORMATION rules;
  if (utc.wYear != rules_year) {
    if (GetTimeZoneInformationForYear(utc.wYear, nullptr, &rules) == 0) return 0;
    rules_year = utc.wYear;
  }
  SYSTEMTIME local;
  FILETIME local_file;
  if (SystemTimeToTzSpecificLocalTime(&rules, &utc, &local) == 0 ||
      SystemTimeToFileTime(&local, &local_file) == 0) {
    return 0;
  }
  const uint64_t local_ticks =
      (static_cast<uint64_t>(local_file.dwHighDateTime) << 32) | local_file.dwLowDateTime;
  *offset = static_cast<int32_t>((static_cast<int64_t>(local_ticks) - static_cast<int64_t>(ticks)) /
                                 kTicksPerSecond);
  return 1;
}

int qv_stderr_is_terminal() {
  return _isatty(_fileno(stderr)) != 0 ? 1 : 0;
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

FILE *qv_create_new_file(const char *path) {
  HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  FILE *file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}

int qv_store_and_close(FILE *file) {
  const bool written =
      std::fflush(file) == 0 && std::ferror(file) == 0 &&
      FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != 0;
  const bool closed = std::fclose(file) == 0;
  return written && closed ? 1 : 0;
}

int qv_replace_file(const char *from, const char *to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ? 1 : 0;
}

int qv_remove_file(const char *path) {
  return DeleteFileA(path) != 0 ? 1 : 0;
}

namespace {

char g_stop_removes[4096];

BOOL WINAPI remove_and_stop(DWORD /*event*/) {
  if (g_stop_removes[0] != '\0') DeleteFileA(g_stop_removes);
  return FALSE;  // the default handler ends the process
}

}  // namespace

void qv_remove_when_stopped(const char *path) {
  size_t length = 0;
  if (path != nullptr) {
    while (path[length] != '\0' && length + 1 < sizeof g_stop_removes) {
      g_stop_removes[length] = path[length];
      ++length;
    }
  }
  g_stop_removes[length] = '\0';
  SetConsoleCtrlHandler(remove_and_stop, path != nullptr ? TRUE : FALSE);
}

unsigned long qv_process_id() {
  return static_cast<unsigned long>(GetCurrentProcessId());
}
