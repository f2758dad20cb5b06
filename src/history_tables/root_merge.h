// Several sessions roots read as one, each session counted once. A session
// found in more than one root (the same folder name, the same id and the same
// span start: copies of one session) counts from the copy whose event log is
// the newest, the larger when equal, the first root's when both are equal.
// Sessions of different roots that share only a folder name both count.
//
// The merge first lists every root and remembers 32 bytes per session folder:
// a hash of its name, its event log's time and size, its root, and what is
// learnt of it later. A session is then told apart from its namesakes when it
// is read anyway: only a namesake that would count before it and has not
// been read yet is looked at, and then only its meta.json and first lines.
#pragma once

#include <cstddef>
#include <cstdint>

#include "session/session_record.h"

constexpr int kMaxRoots = 64;

// A root and the name the reports give it.
struct NamedRoot {
  const char *name;
  const char *path;
};

struct SessionCopy {
  uint64_t name_hash;
  int64_t time;  // the event log's (or folder's) modification time
  int64_t size;  // the event log's size
  uint32_t root;
  uint32_t flags;  // kKeyed and the hash of id and span start
};
static_assert(sizeof(SessionCopy) == 32, "the merge's memory per session");

struct RootMerge {
  const NamedRoot *roots;
  int count;
  SessionCopy *copies;  // by name hash, then root
  size_t length;
  size_t capacity;
  int order[kMaxRoots];  // the roots to read in turn: most recently active first
};

// Lists every root (leaving out sessions last active before `active_since`,
// epoch seconds). Answers -1, or the index of a root that could not be
// listed, or `count` when memory ran out.
int root_merge_build(RootMerge *merge, const NamedRoot *roots, int count, int64_t active_since);

// Whether session `name` of root number `root`, just loaded into `record`,
// counts: false when it is a copy of one that counts instead.
bool root_merge_counts(RootMerge *merge, int root, const char *name, const SessionRecord &record);
