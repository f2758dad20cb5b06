#include "history_tables/root_merge.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "history_tables/attribution.h"
#include "history_tables/history_scan.h"
#include "session/activity.h"
#include "session/load_session.h"

namespace {

constexpr uint32_t kKeyed = 1U << 30;  // the session was read: the low bits are its identity
constexpr uint32_t kHashBits = kKeyed - 1;

uint64_t fnv(uint64_t hash, const void *bytes, size_t length) {
  const auto *p = static_cast<const unsigned char *>(bytes);
  for (size_t i = 0; i < length; ++i) hash = (hash ^ p[i]) * 1099511628211ULL;
  return hash;
}

uint64_t name_hash_of(const char *name) {
  return fnv(14695981039346656037ULL, name, std::strlen(name));
}

struct Listing {
  RootMerge *merge;
  uint32_t root;
  bool out_of_memory;
};

void remember(const DirListing *listing, const char *name, void *context) {
  auto *state = static_cast<Listing *>(context);
  RootMerge *merge = state->merge;
  if (merge->length == merge->capacity) {
    const size_t capacity = merge->capacity == 0 ? 4096 : merge->capacity * 2;
    void *grown = std::realloc(merge->copies, capacity * sizeof(SessionCopy));
    if (grown == nullptr) {
      state->out_of_memory = true;
      return;
    }
    merge->copies = static_cast<SessionCopy *>(grown);
    merge->capacity = capacity;
  }
  char log[1024];
  std::snprintf(log, sizeof log, "%s/events.jsonl", name);
  int64_t size = 0;
  if (qv_listed_file_size(listing, log, &size) == 0) size = 0;
  merge->copies[merge->length++] = {name_hash_of(name), session_activity_time(listing, name), size,
                                    state->root, 0};
}

int by_name_then_root(const void *a, const void *b) {
  const auto &x = *static_cast<const SessionCopy *>(a);
  const auto &y = *static_cast<const SessionCopy *>(b);
  if (x.name_hash != y.name_hash) return x.name_hash < y.name_hash ? -1 : 1;
  return x.root < y.root ? -1 : x.root > y.root ? 1 : 0;
}

SessionCopy *find_copy(const RootMerge *merge, uint32_t root, const char *name) {
  const SessionCopy wanted = {name_hash_of(name), 0, 0, root, 0};
  return static_cast<SessionCopy *>(
      std::bsearch(&wanted, merge->copies, merge->length, sizeof(SessionCopy), by_name_then_root));
}

// What tells copies of one session from namesakes: its id and span start.
uint32_t identity_of(const SessionRecord &record) {
  const int64_t start = record.first_epoch != 0 ? span_start(record) : 0;
  uint64_t hash = fnv(14695981039346656037ULL, record.id, std::strlen(record.id) + 1);
  hash = fnv(hash, &start, sizeof start);
  return kKeyed | static_cast<uint32_t>((hash ^ (hash >> 32)) & kHashBits);
}

// Whether copy `a` is the one of its session that counts, rather than `b`.
bool counts_before(const SessionCopy &a, const SessionCopy &b) {
  if (a.time != b.time) return a.time > b.time;
  if (a.size != b.size) return a.size > b.size;
  return a.root < b.root;
}

}  // namespace

int root_merge_build(RootMerge *merge, const NamedRoot *roots, int count, int64_t active_since) {
  *merge = {};
  merge->roots = roots;
  merge->count = count;
  Listing state = {merge, 0, false};
  int64_t newest[kMaxRoots] = {};
  for (int i = 0; i < count; ++i) {
    state.root = static_cast<uint32_t>(i);
    const size_t before = merge->length;
    if (visit_listed_sessions(roots[i].path, active_since, remember, &state) == 0) return i;
    if (state.out_of_memory) return count;
    newest[i] = INT64_MIN;
    for (size_t k = before; k < merge->length; ++k) {
      if (merge->copies[k].time > newest[i]) newest[i] = merge->copies[k].time;
    }
    merge->order[i] = i;
  }
  // In place: a sort that borrows a buffer of the array's size would double
  // the memory the merge promises.
  std::sort(
      merge->copies, merge->copies + merge->length,
      [](const SessionCopy &x, const SessionCopy &y) { return by_name_then_root(&x, &y) < 0; });
  // The most recently active root first: copies of one session are then most
  // often read newest first, and an older copy is told apart from the newer
  // one without reading anything more.
  std::stable_sort(merge->order, merge->order + count,
                   [&newest](int a, int b) { return newest[a] > newest[b]; });
  return -1;
}

bool root_merge_counts(RootMerge *merge, int root, const char *name, const SessionRecord &record) {
  SessionCopy *copy = find_copy(merge, static_cast<uint32_t>(root), name);
  if (copy == nullptr) return true;  // came after the listing: nothing to tell it from
  copy->flags = identity_of(record);
  SessionCopy *first = copy;
  while (first > merge->copies && (first - 1)->name_hash == copy->name_hash) --first;
  const SessionCopy *end = merge->copies + merge->length;
  for (SessionCopy *other = first; other < end && other->name_hash == copy->name_hash; ++other) {
    if (other == copy || !counts_before(*other, *copy)) continue;
    if ((other->flags & kKeyed) == 0) {
      // A namesake that would count first but is not read yet: its start
      // tells whether it is this session.
      static SessionRecord start;
      if (load_session_start(merge->roots[other->root].path, name, &start) == 0) continue;
      other->flags = identity_of(start);
    }
    if (other->flags == copy->flags) return false;
  }
  return true;
}
