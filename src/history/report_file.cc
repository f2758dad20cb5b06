#include "history/report_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "output/output.h"
#include "platform/platform.h"

bool report_file_open(ReportFile *file, const char *target, char *error, size_t capacity) {
  file->target = target;
  file->open = false;
  // Beside the target, so that the rename stays within one file system; a
  // name of this process's, tried again should a stale one be in the way.
  FILE *stream = nullptr;
  for (int attempt = 0; attempt < 100 && stream == nullptr; ++attempt) {
    const int length = std::snprintf(file->temporary, sizeof file->temporary, "%s.%lu-%d.part",
                                     target, qv_process_id(), attempt);
    if (length < 0 || static_cast<size_t>(length) >= sizeof file->temporary) {
      std::snprintf(error, capacity, "cannot write %s: the name is too long", target);
      return false;
    }
    stream = qv_create_new_file(file->temporary);
    if (stream == nullptr && errno != EEXIST) break;
  }
  if (stream == nullptr) {
    std::snprintf(error, capacity, "cannot write %s: %s", target, std::strerror(errno));
    return false;
  }
  qv_remove_when_stopped(file->temporary);
  file->open = true;
  out_to_file(stream);
  return true;
}

bool report_file_close(ReportFile *file, bool complete, char *error, size_t capacity) {
  if (!file->open) return false;
  file->open = false;
  out_flush();
  bool stored = complete && !out_failed();
  int reason = errno;
  FILE *stream = out_stream();
  out_to_file(nullptr);
  if (qv_store_and_close(stream) == 0 && stored) {
    stored = false;
    reason = errno;
  }
  if (stored && qv_replace_file(file->temporary, file->target) == 0) {
    stored = false;
    reason = errno;
  }
  if (!stored) qv_remove_file(file->temporary);
  qv_remove_when_stopped(nullptr);
  if (complete && !stored) {
    std::snprintf(error, capacity, "cannot write %s: %s", file->target, std::strerror(reason));
  }
  return stored;
}
