// The few operating-system facilities the program needs, behind one interface.
// platform_posix.cc and platform_win.cc implement it; nothing else includes
// operating-system headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// 1 when `path` names an existing directory (links followed), else 0.
int qv_is_dir(const char *path);

// Opens a regular file (links followed) for binary reading, or answers null.
// Special files (FIFOs, sockets, devices) and directories are never opened: a
// FIFO would block the request and a directory is no file. While the file is
// open, the agent may still write, rename or delete it and its folder.
FILE *qv_open_file(const char *path);

// Tells the system that `file`, opened by qv_open_file, will be read front to
// back, so that it reads further ahead from disk. Only a hint: nothing changes
// when the system takes none.
void qv_advise_sequential(FILE *file);

// One-level listing of a directory. `visit` is called for every entry the system
// delivers, in delivery order, with its name and whether it is a directory; a link
// to a directory counts as a directory, a dangling link as neither. The open
// listing is handed along, so that the visitor can ask about entries while it
// runs. Answers 0 when no listing could be made.
struct DirListing;
using DirVisitor = void (*)(const DirListing *listing, const char *name, int is_dir, void *context);
int qv_list_dir(const char *path, DirVisitor visit, void *context);

// What a path must name for qv_listed_modified_time to answer.
enum class EntryKind { kRegularFile, kDirectory };

// The last modification time of `relative`, a path inside the directory being
// listed (links followed), when it names an entry of that kind: answers 1 and
// stores a count that orders with every other time from this call, at the
// system's full resolution (nanoseconds since 1970 on POSIX, 100-nanosecond
// ticks since 1601 on Windows). Answers 0 when it names something else or
// cannot be examined. Nothing is opened, so a FIFO cannot block.
int qv_listed_modified_time(const DirListing *listing, const char *relative, EntryKind kind,
                            int64_t *time);

// The size in bytes of `relative`, a regular file inside the directory being
// listed (links followed): answers 1, or 0 when it is no such file.
int qv_listed_file_size(const DirListing *listing, const char *relative, int64_t *size);

// `time` as qv_listed_modified_time gives it, in whole seconds since
// 1970-01-01 00:00:00 UTC (rounded down).
int64_t qv_epoch_of_modified_time(int64_t time);

// 1 when `path` names anything that exists (links followed), else 0.
int qv_path_exists(const char *path);

// Seconds east of UTC of the system's local time at `epoch`, with the zone's
// daylight-saving rules: answers 1, or 0 when the system cannot tell (such as
// for a time beyond its calendar).
int qv_local_utc_offset(int64_t epoch, int32_t *offset);

// 1 when standard error is a terminal, where a progress line may be drawn.
int qv_stderr_is_terminal();

// Where the agent keeps its sessions when no root is given: a folder under the
// application-data folder, else one under the user's profile, each named by an
// environment variable whose value the suffix is appended to; and a fallback
// relative to the working directory.
struct SessionsRootCandidate {
  const char *variable;
  const char *suffix;
};
SessionsRootCandidate qv_app_data_sessions_root();
SessionsRootCandidate qv_profile_sessions_root();
const char *qv_fallback_sessions_root();

// Makes standard output byte-exact ("\n" stays one byte) and keeps a closed
// reader from killing the process, so that every run ends with status 0.
void qv_prepare_stdout();

// A report written to a file appears whole or not at all: it is written to a
// new file beside its target and renamed over the target once complete.

// Creates `path`, which must not exist yet, for binary writing; null when it
// exists or cannot be made (errno says why).
FILE *qv_create_new_file(const char *path);

// Flushes `file` to the disk and closes it: 1 when every byte is stored.
int qv_store_and_close(FILE *file);

// Renames `from` to `to`, replacing what `to` names, in one step a reader
// never sees half done: 1 on success.
int qv_replace_file(const char *from, const char *to);

// Removes the file `path`: 1 on success.
int qv_remove_file(const char *path);

// Removes `path` (a copy of it is kept; null forgets it) should the program
// be interrupted or stopped, so that an unfinished file never stays behind.
void qv_remove_when_stopped(const char *path);

// This process's number, which no other running process has.
unsigned long qv_process_id();
