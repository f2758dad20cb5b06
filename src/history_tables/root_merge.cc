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

constexpr uint32_t kKeyed = 1U << 30;    // the session was read: the low bits are its hash
constexpr uint32_t kSkipped = 1U << 31;  // a copy that does not count
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
  const NamedRoot *roots;
  uint32_t root;
  bool out_of_memory;
};

void remember(const DirListing *listing, const char *name, void *context) {
  auto *state = static_cast<Listing *>(context);
  RootMerge *merge = state->merge;
  if (merge->count == merge->capacity) {
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
  merge->copies[merge->count++] = {name_hash_of(name), session_activity_time(listing, name), size,
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
      std::bsearch(&wanted, merge->copies, merge->count, sizeof(SessionCopy), by_name_then_root));
}

bool has_namesake(const RootMerge *merge, const SessionCopy *copy) {
  const size_t at = static_cast<size_t>(copy - merge->copies);
  return (at > 0 && merge->copies[at - 1].name_hash == copy->name_hash) ||
         (at + 1 < merge->count && merge->copies[at + 1].name_hash == copy->name_hash);
}

// Reads a session whose name is in another root too, to learn its id and span
// start.
void key_namesake(const DirListing * /*listing*/, const char *name, void *context) {
  auto *state = static_cast<Listing *>(context);
  SessionCopy *copy = find_copy(state->merge, state->root, name);
  if (copy == nullptr || !has_namesake(state->merge, copy)) return;
  static SessionRecord record;
  if (load_session_start(state->roots[state->root].path, name, &record) == 0) return;
  ++state->merge->read;
  const int64_t start = record.first_epoch != 0 ? span_start(record) : 0;
  uint64_t hash = fnv(14695981039346656037ULL, record.id, std::strlen(record.id) + 1);
  hash = fnv(hash, &start, sizeof start);
  copy->flags = kKeyed | static_cast<uint32_t>((hash ^ (hash >> 32)) & kHashBits);
}

// Whether copy `a` is the one of its session that counts, rather than `b`.
bool counts_before(const SessionCopy &a, const SessionCopy &b) {
  if (a.time != b.time) return a.time > b.time;
  if (a.size != b.size) return a.size > b.size;
  return a.root < b.root;
}

void choose_copies(RootMerge *merge) {
  for (size_t first = 0; first < merge->count;) {
    size_t end = first + 1;
    while (end < merge->count && merge->copies[end].name_hash == merge->copies[first].name_hash) {
      ++end;
    }
    for (size_t i = first; i < end; ++i) {
      SessionCopy &copy = merge->copies[i];
      if ((copy.flags & kKeyed) == 0) continue;  // vanished while listed: it counts
      for (size_t k = first; k < end; ++k) {
        const SessionCopy &other = merge->copies[k];
        if (k == i || (other.flags & kKeyed) == 0) continue;
        if ((other.flags & kHashBits) != (copy.flags & kHashBits)) continue;
        if (counts_before(other, copy)) copy.flags |= kSkipped;
      }
    }
    first = end;
  }
}

}  // namespace

int root_merge_build(RootMerge *merge, const NamedRoot *roots, int count, int64_t active_since) {
  *merge = {};
  Listing state = {merge, roots, 0, false};
  for (int i = 0; i < count; ++i) {
    state.root = static_cast<uint32_t>(i);
    if (visit_listed_sessions(roots[i].path, active_since, remember, &state) == 0) return i;
    if (state.out_of_memory) return count;
  }
  // In place: a sort that borrows a buffer of the array's size would double
  // the memory the merge promises.
  std::sort(
      merge->copies, merge->copies + merge->count,
      [](const SessionCopy &x, const SessionCopy &y) { return by_name_then_root(&x, &y) < 0; });
  for (int i = 0; i < count; ++i) {
    state.root = static_cast<uint32_t>(i);
    if (visit_listed_sessions(roots[i].path, active_since, key_namesake, &state) == 0) return i;
  }
  choose_copies(merge);
  return -1;
}

bool root_merge_skips(const RootMerge *merge, int root, const char *name) {
  const SessionCopy *copy = find_copy(merge, static_cast<uint32_t>(root), name);
  return copy != nullptr && (copy->flags & kSkipped) != 0;
}

void root_merge_free(RootMerge *merge) {
  std::free(merge->copies);
  *merge = {};
}
