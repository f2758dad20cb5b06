#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <initializer_list>

#include "platform/platform.h"

int qv_is_dir(const char *path) {
  struct stat st {};
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

FILE *qv_open_file(const char *path) {
  // Non-blocking open, so that a FIFO put in place of a file cannot stall us
  // between a type check and the open; the type is then checked on the open file.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  FILE *file = fdopen(fd, "rb");
  if (file == nullptr) close(fd);
  return file;
}

void qv_advise_sequential(FILE *file) {
  const int fd = fileno(file);
  if (fd >= 0) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

struct DirListing {
  int fd;  // the open directory: entries are looked up from it, not from the root's path
};

int qv_listed_modified_time(const DirListing *listing, const char *relative, EntryKind kind,
                            int64_t *time) {
  struct stat st {};
  if (fstatat(listing->fd, relative, &st, 0) != 0) return 0;
  const bool wanted = kind == EntryKind::kDirectory ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
  if (!wanted) return 0;
  *time = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return 1;
}

int qv_listed_file_size(const DirListing *listing, const char *relative, int64_t *size) {
  struct stat st {};
  if (fstatat(listing->fd, relative, &st, 0) != 0 || !S_ISREG(st.st_mode)) return 0;
  *size = static_cast<int64_t>(st.st_size);
  return 1;
}

int qv_list_dir(const char *path, DirVisitor visit, void *context) {
  DIR *dir = opendir(path);
  if (dir == nullptr) return 0;
  const DirListing listing = {dirfd(dir)};
  while (const dirent *entry = readdir(dir)) {
    int is_dir = 0;
    if (entry->d_type == DT_DIR) {
      is_dir = 1;
    } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      // Follow links (and ask file systems that do not report types); a
      // dangling link or a loop fails the stat and is no directory.
      struct stat st {};
      is_dir = fstatat(listing.fd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
    }
    visit(&listing, entry->d_name, is_dir, context);
  }
  closedir(dir);
  return 1;
}

int64_t qv_epoch_of_modified_time(int64_t time) {
  constexpr int64_t kPerSecond = 1000000000;
  return time >= 0 ? time / kPerSecond : -((-time + kPerSecond - 1) / kPerSecond);
}

int qv_path_exists(const char *path) {
  struct stat st {};
  return stat(path, &st) == 0 ? 1 : 0;
}

int qv_local_utc_offset(int64_t epoch, int32_t *offset) {
  // localtime_r need not read TZ itself: read it once, before the first use.
  static const bool zone_read = [] {
    tzset();
    return true;
  }();
  static_cast<void>(zone_read);
  const auto time = static_cast<time_t>(epoch);
  struct tm local {};
  if (localtime_r(&time, &local) == nullptr) return 0;
  *offset = static_cast<int32_t>(local.tm_gmtoff);
  return 1;
}

int qv_stderr_is_terminal() {
  return isatty(STDERR_FILENO) != 0 ? 1 : 0;
}

// The XDG data folder and the home folder stand in for the Windows ones.
SessionsRootCandidate qv_app_data_sessions_root() {
  return {"XDG_DATA_HOME", "/quorvane/sessions"};
}

SessionsRootCandidate qv_profile_sessions_root() {
  return {"HOME", "/.quorvane/sessions"};
}

const char *qv_fallback_sessions_root() {
  return "quorvane/sessions";
}

void qv_prepare_stdout() {
  signal(SIGPIPE, SIG_IGN);
  // A write past the size limit (ulimit -f) fails like a full disk instead of
  // ending the process before it can clean up.
  signal(SIGXFSZ, SIG_IGN);
}

FILE *qv_create_new_file(const char *path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return nullptr;
  FILE *file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}

int qv_store_and_close(FILE *file) {
  const bool written = std::fflush(file) == 0 && std::ferror(file) == 0 && fsync(fileno(file)) == 0;
  const bool closed = std::fclose(file) == 0;
  return written && closed ? 1 : 0;
}

int qv_replace_file(const char *from, const char *to) {
  return std::rename(from, to) == 0 ? 1 : 0;
}

int qv_remove_file(const char *path) {
  return unlink(path) == 0 ? 1 : 0;
}

namespace {

char g_stop_removes[4096];

void remove_and_stop(int signal_number) {
  if (g_stop_removes[0] != '\0') unlink(g_stop_removes);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
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
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    signal(signal_number, path != nullptr ? remove_and_stop : SIG_DFL);
  }
}

unsigned long qv_process_id() {
  return static_cast<unsigned long>(getpid());
}
