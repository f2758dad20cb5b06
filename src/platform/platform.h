// The few operating-system facilities the program needs, behind one interface.
// platform_posix.cc and platform_win.cc implement it; nothing else includes
// operating-system headers.
#pragma once

#include <cstddef>
#include <cstdio>

// 1 when `path` names an existing directory (links followed), else 0.
int qv_is_dir(const char *path);

// Opens a regular file (links followed) for binary reading, or answers null.
// Special files (FIFOs, sockets, devices) and directories are never opened: a
// FIFO would block the request and a directory is no file. While the file is
// open, the agent may still write, rename or delete it and its folder.
FILE *qv_open_file(const char *path);

// One-level listing of a directory. `visit` is called for every entry the system
// delivers, in delivery order, with its name and whether it is a directory; a link
// to a directory counts as a directory, a dangling link as neither. Answers 0 when
// no listing could be made.
using DirVisitor = void (*)(const char *name, int is_dir, void *context);
int qv_list_dir(const char *path, DirVisitor visit, void *context);

// Makes standard output byte-exact ("\n" stays one byte) and keeps a closed
// reader from killing the process, so that every run ends with status 0.
void qv_prepare_stdout();
