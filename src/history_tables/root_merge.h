// Several sessions roots read as one, each session counted once. A session
// found in more than one root (the same folder name, the same id and the same
// span start: copies of one session) counts from the copy whose event log is
// the newest, the larger when equal, the first root's when both are equal.
// Sessions of different roots that share only a folder name both count.
//
// The merge remembers 32 bytes per session folder: a hash of its name, its
// event log's time and size, its root and what was found out. Only sessions
// whose name is in more than one root are read to tell copies apart.
#pragma once

#include <cstddef>
#include <cstdint>

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
  uint32_t flags;  // kKeyed, kSkipped and the hash of id and span start
};
static_assert(sizeof(SessionCopy) == 32, "the merge's memory per session");

struct RootMerge {
  SessionCopy *copies;  // by name hash, then root
  size_t count;
  size_t capacity;
  int64_t read;  // sessions read to tell copies apart
};

// Lists every root (leaving out sessions last active before `active_since`,
// epoch seconds) and decides which copy of each session counts. Answers -1,
// or the index of a root that could not be listed, or `count` when memory ran
// out.
int root_merge_build(RootMerge *merge, const NamedRoot *roots, int count, int64_t active_since);

// Whether session folder `name` of root number `root` is a copy that does not
// count.
bool root_merge_skips(const RootMerge *merge, int root, const char *name);

void root_merge_free(RootMerge *merge);
