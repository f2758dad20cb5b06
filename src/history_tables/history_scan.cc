#include "history_tables/history_scan.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "session/activity.h"
#include "text/str_copy.h"
#include "text/text_width.h"

namespace {

// Whether a listed entry is a session folder to visit; looks at its time of
// activity only when a time is given.
bool is_visited(const DirListing *listing, const char *name, int is_dir, int64_t active_since,
                int64_t *activity) {
  if (is_dir == 0 || name[0] == '.') return false;
  if (activity == nullptr && active_since == INT64_MIN) return true;
  const int64_t time = session_activity_time(listing, name);
  if (activity != nullptr) *activity = time;
  return time == kNoActivity || active_since == INT64_MIN ||
         qv_epoch_of_modified_time(time) >= active_since;
}

struct Listed {
  int64_t active_since;
  SessionVisitor visit;
  ListedSessionVisitor visit_listed;
  void *context;
  int64_t count;
};

void take_listed(const DirListing *listing, const char *name, int is_dir, void *context) {
  auto *listed = static_cast<Listed *>(context);
  if (!is_visited(listing, name, is_dir, listed->active_since, nullptr)) return;
  ++listed->count;
  if (listed->visit != nullptr) listed->visit(name, listed->context);
  if (listed->visit_listed != nullptr) listed->visit_listed(listing, name, listed->context);
}

// Names as long as any system's file names.
constexpr int kNameCapacity = 260;
constexpr int32_t kBatch = 8192;

struct Ranked {
  int64_t time;
  int32_t slot;
  int32_t root;
};

// One pass of the recency listing: the kBatch most recent sessions that rank
// after the last one of the batch before. The heap's top is the candidate
// that ranks last, so a newcomer that ranks before it takes its place.
struct RecencyPass {
  int64_t active_since;
  int32_t listing_root;  // the root being listed
  bool bounded;
  int64_t bound_time;
  int32_t bound_root;
  char bound_name[kNameCapacity];
  Ranked heap[kBatch];
  int32_t size;
  char names[kBatch][kNameCapacity];
  int64_t beyond;  // sessions after the bound in this pass
  int longest;
};

RecencyPass g_pass;

bool ranks_before(int64_t time_a, const char *name_a, int32_t root_a, int64_t time_b,
                  const char *name_b, int32_t root_b) {
  if (time_a != time_b) return time_a > time_b;
  const int order = std::strcmp(name_a, name_b);
  return order != 0 ? order < 0 : root_a < root_b;
}

bool ranks_before(const RecencyPass &pass, const Ranked &a, const Ranked &b) {
  return ranks_before(a.time, pass.names[a.slot], a.root, b.time, pass.names[b.slot], b.root);
}

void sift_down(RecencyPass *pass, int32_t at) {
  for (;;) {
    int32_t last = at;
    const int32_t left = 2 * at + 1;
    const int32_t right = left + 1;
    if (left < pass->size && ranks_before(*pass, pass->heap[last], pass->heap[left])) last = left;
    if (right < pass->size && ranks_before(*pass, pass->heap[last], pass->heap[right])) {
      last = right;
    }
    if (last == at) return;
    const Ranked moved = pass->heap[at];
    pass->heap[at] = pass->heap[last];
    pass->heap[last] = moved;
    at = last;
  }
}

void sift_up(RecencyPass *pass, int32_t at) {
  while (at > 0) {
    const int32_t parent = (at - 1) / 2;
    if (!ranks_before(*pass, pass->heap[parent], pass->heap[at])) return;
    const Ranked moved = pass->heap[at];
    pass->heap[at] = pass->heap[parent];
    pass->heap[parent] = moved;
    at = parent;
  }
}

void take_ranked(const DirListing *listing, const char *name, int is_dir, void *context) {
  auto *pass = static_cast<RecencyPass *>(context);
  int64_t time = 0;
  if (!is_visited(listing, name, is_dir, pass->active_since, &time)) return;
  const int32_t root = pass->listing_root;
  if (pass->bounded &&
      !ranks_before(pass->bound_time, pass->bound_name, pass->bound_root, time, name, root)) {
    return;
  }
  ++pass->beyond;
  const int width = text_width(name);
  if (width > pass->longest) pass->longest = width;
  if (pass->size < kBatch) {
    const int32_t slot = pass->size;
    str_copy(pass->names[slot], kNameCapacity, name);
    pass->heap[pass->size] = {time, slot, root};
    sift_up(pass, pass->size);
    ++pass->size;
    return;
  }
  const Ranked &top = pass->heap[0];
  if (!ranks_before(time, name, root, top.time, pass->names[top.slot], top.root)) return;
  str_copy(pass->names[top.slot], kNameCapacity, name);
  pass->heap[0].time = time;
  pass->heap[0].root = root;
  sift_down(pass, 0);
}

int cmp_recency(const void *a, const void *b) {
  const auto &x = *static_cast<const Ranked *>(a);
  const auto &y = *static_cast<const Ranked *>(b);
  if (ranks_before(g_pass, x, y)) return -1;
  return ranks_before(g_pass, y, x) ? 1 : 0;
}

}  // namespace

int visit_sessions(const char *root, int64_t active_since, SessionVisitor visit, void *context) {
  Listed listed = {active_since, visit, nullptr, context, 0};
  return qv_list_dir(root, take_listed, &listed);
}

int visit_listed_sessions(const char *root, int64_t active_since, ListedSessionVisitor visit,
                          void *context) {
  Listed listed = {active_since, nullptr, visit, context, 0};
  return qv_list_dir(root, take_listed, &listed);
}

int64_t count_sessions(const char *root, int64_t active_since) {
  Listed listed = {active_since, nullptr, nullptr, nullptr, 0};
  qv_list_dir(root, take_listed, &listed);
  return listed.count;
}

int visit_roots_by_recency(const char *const *roots, int root_count, int64_t active_since,
                           RootedSessionVisitor visit, void *context, int *longest) {
  RecencyPass *pass = &g_pass;
  pass->active_since = active_since;
  pass->bounded = false;
  for (bool first = true;; first = false) {
    pass->size = 0;
    pass->beyond = 0;
    pass->longest = 0;
    for (int32_t root = 0; root < root_count; ++root) {
      pass->listing_root = root;
      if (qv_list_dir(roots[root], take_ranked, pass) == 0) return root;
    }
    if (first && longest != nullptr) *longest = pass->longest;
    std::qsort(pass->heap, static_cast<size_t>(pass->size), sizeof pass->heap[0], cmp_recency);
    for (int32_t i = 0; i < pass->size; ++i) {
      visit(pass->heap[i].root, pass->names[pass->heap[i].slot], context);
    }
    if (pass->beyond <= pass->size) return -1;
    const Ranked &last = pass->heap[pass->size - 1];
    pass->bounded = true;
    pass->bound_time = last.time;
    pass->bound_root = last.root;
    str_copy(pass->bound_name, kNameCapacity, pass->names[last.slot]);
  }
}

namespace {

struct OneRoot {
  SessionVisitor visit;
  void *context;
};

void visit_one_root(int /*root*/, const char *name, void *context) {
  const auto *one = static_cast<const OneRoot *>(context);
  one->visit(name, one->context);
}

}  // namespace

int visit_sessions_by_recency(const char *root, int64_t active_since, SessionVisitor visit,
                              void *context, int *longest) {
  OneRoot one = {visit, context};
  return visit_roots_by_recency(&root, 1, active_since, visit_one_root, &one, longest) == -1 ? 1
                                                                                             : 0;
}
