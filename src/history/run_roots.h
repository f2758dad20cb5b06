// The sessions roots of one run: those given by --root, or the one the
// plugin's rules choose. Every root is checked before anything is read or
// written, and several are merged so that no session counts twice.
#pragma once

#include "history/options.h"
#include "history_tables/root_merge.h"
#include "sessions_root/sessions_root.h"

struct RunRoots {
  NamedRoot roots[kMaxRoots];
  int count;
  bool several;      // reports say which root each session is of
  bool named;        // a root has a NAME of its own
  char reason[256];  // why the root is where it is, for messages
  SessionsRoot chosen;
  RootMerge merge;  // with several roots
};

// Chooses and checks the roots, and with several finds the copies of one
// session. Answers 0, or 1 after a message that names the root (and its NAME)
// that is missing, no folder or cannot be listed.
int prepare_roots(const HistoryOptions &options, int64_t active_since, const char *program,
                  RunRoots *roots);

// Whether session `name` of root number `root`, just loaded into `record`,
// counts: false for a copy of a session that counts from another root.
bool counts_copy(RunRoots *roots, int root, const char *name, const SessionRecord &record);

// The number of the i-th root to read.
int root_in_turn(const RunRoots &roots, int i);

// The message for a root that cannot be listed; answers 1, the exit status.
int cannot_list(const char *program, const RunRoots &roots, int root);

// "NAME (PATH), NAME (PATH)" or the one root's path: what a page names.
void describe_roots(const RunRoots &roots, char *out, size_t capacity);
