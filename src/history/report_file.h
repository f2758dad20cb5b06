// --output FILE: the report goes to a new file beside FILE and is renamed over
// it only once complete, so that a reader of FILE sees the old report or the
// new one, never half of one, and a failed run leaves FILE as it was.
#pragma once

#include <cstddef>

struct ReportFile {
  const char *target;
  char temporary[4096];
  bool open;
};

// Creates the temporary file and sends the report there. Answers false, with
// a one-line message in `error`, when it cannot be made.
bool report_file_open(ReportFile *file, const char *target, char *error, size_t capacity);

// Ends the report: when `complete`, stores it and renames it over the target;
// otherwise, or when that fails, removes it. Answers whether the target now
// holds the report, with a message in `error` when it should but does not.
bool report_file_close(ReportFile *file, bool complete, char *error, size_t capacity);
