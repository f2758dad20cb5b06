#include "rudeze_duziruzuderi/session_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "session/activity.h"
#include "session/load_session.h"
#include "text/str_copy.h"

namespace {

// A candidate name while the root is listed: its slot in the names table, its
// time and its place in the listing.
struct Candidate {
  int64_t time;
  int32_t listed;
  int32_t slot;
};

// Whether `a` ranks before `b`: more recent, or as recent and listed earlier.
bool ranks_before(const Candidate &a, const Candidate &b) {
  return a.time != b.time ? a.time > b.time : a.listed < b.listed;
}

// The listing of one root. Past 256 directories the candidates form a heap
// whose top is the one that ranks last, so a newcomer replaces it when it ranks
// before it: memory stays fixed however many directories the root holds.
struct Scan {
  SessionTable *table;
  int32_t listed;
  Candidate heap[kMaxSessionNames];
  int32_t heap_size;
};

Scan g_scan;

void sift_down(Candidate *heap, int32_t size, int32_t at) {
  for (;;) {
    int32_t last = at;
    const int32_t left = 2 * at + 1;
    const int32_t right = left + 1;
    if (left < size && ranks_before(heap[last], heap[left])) last = left;
    if (right < size && ranks_before(heap[last], heap[right])) last = right;
    if (last == at) return;
    const Candidate moved = heap[at];
    heap[at] = heap[last];
    heap[last] = moved;
    at = last;
  }
}

void sift_up(Candidate *heap, int32_t at) {
  while (at > 0) {
    const int32_t parent = (at - 1) / 2;
    if (!ranks_before(heap[parent], heap[at])) return;
    const Candidate moved = heap[at];
    heap[at] = heap[parent];
    heap[parent] = moved;
    at = parent;
  }
}

void push_candidate(Scan *scan, const Candidate &candidate) {
  scan->heap[scan->heap_size] = candidate;
  sift_up(scan->heap, scan->heap_size);
  ++scan->heap_size;
}

// The names so far, all in the table in listing order, become candidates with
// their times: from now on only the most recent are kept.
void start_ranking(Scan *scan, const DirListing *listing) {
  SessionTable *table = scan->table;
  table->by_activity = 1;
  scan->heap_size = 0;
  for (int32_t i = 0; i < table->name_count; ++i) {
    push_candidate(scan, {session_activity_time(listing, table->names[i]), i, i});
  }
}

void take_ranked(Scan *scan, const DirListing *listing, const char *name, int32_t listed) {
  SessionTable *table = scan->table;
  char cut[sizeof table->names[0]];
  str_copy(cut, sizeof cut, name);
  const Candidate candidate = {session_activity_time(listing, cut), listed, 0};
  if (scan->heap_size < kMaxSessionNames) {
    const int32_t slot = scan->heap_size;
    std::memcpy(table->names[slot], cut, sizeof cut);
    push_candidate(scan, {candidate.time, listed, slot});
    return;
  }
  if (!ranks_before(candidate, scan->heap[0])) return;
  const int32_t slot = scan->heap[0].slot;
  std::memcpy(table->names[slot], cut, sizeof cut);
  scan->heap[0] = {candidate.time, listed, slot};
  sift_down(scan->heap, scan->heap_size, 0);
}

void take_entry(const DirListing *listing, const char *name, int is_dir, void *context) {
  auto *scan = static_cast<Scan *>(context);
  SessionTable *table = scan->table;
  if (is_dir == 0 || name[0] == '.') return;
  const int32_t listed = scan->listed++;
  if (table->by_activity == 0) {
    if (table->name_count < kMaxSessions) {
      str_copy(table->names[table->name_count], sizeof table->names[0], name);
      ++table->name_count;
      return;
    }
    start_ranking(scan, listing);
  }
  take_ranked(scan, listing, name, listed);
}

int cmp_listed(const void *a, const void *b) {
  const int32_t x = static_cast<const Candidate *>(a)->listed;
  const int32_t y = static_cast<const Candidate *>(b)->listed;
  return x < y ? -1 : (x > y ? 1 : 0);
}

// Puts the chosen names back into listing order, each with its time.
void order_chosen_names(Scan *scan) {
  SessionTable *table = scan->table;
  std::qsort(scan->heap, static_cast<size_t>(scan->heap_size), sizeof scan->heap[0], cmp_listed);
  static char names[kMaxSessionNames][sizeof table->names[0]];
  for (int32_t i = 0; i < scan->heap_size; ++i) {
    std::memcpy(names[i], table->names[scan->heap[i].slot], sizeof names[i]);
    table->name_times[i] = scan->heap[i].time;
  }
  std::memcpy(table->names, names, sizeof names[0] * static_cast<size_t>(scan->heap_size));
  table->name_count = scan->heap_size;
}

// Indices of the names, most recently active first.
int32_t g_load_order[kMaxSessionNames];
const SessionTable *g_ranked_table;

int cmp_more_recent(const void *a, const void *b) {
  const int32_t x = *static_cast<const int32_t *>(a);
  const int32_t y = *static_cast<const int32_t *>(b);
  const Candidate cx = {g_ranked_table->name_times[x], x, x};
  const Candidate cy = {g_ranked_table->name_times[y], y, y};
  if (ranks_before(cx, cy)) return -1;
  return ranks_before(cy, cx) ? 1 : 0;
}

// The name index each record was loaded from, to put the records back into
// listing order.
int32_t g_record_names[kMaxSessions];

int cmp_record_names(const void *a, const void *b) {
  const int32_t x = g_record_names[*static_cast<const int32_t *>(a)];
  const int32_t y = g_record_names[*static_cast<const int32_t *>(b)];
  return x < y ? -1 : (x > y ? 1 : 0);
}

// Reorders the records by the names they came from. Each place receives its
// record along the cycles of the permutation, with `spare` holding the one
// record a cycle displaces first: no second table of records is needed.
void order_records_by_name(SessionTable *table, SessionRecord *spare) {
  int32_t from[kMaxSessions];  // from[place]: the record that belongs there
  bool done[kMaxSessions] = {};
  for (int32_t k = 0; k < table->count; ++k) from[k] = k;
  std::qsort(from, static_cast<size_t>(table->count), sizeof from[0], cmp_record_names);
  for (int32_t start = 0; start < table->count; ++start) {
    if (done[start]) continue;
    std::memcpy(spare, &table->records[start], sizeof *spare);
    int32_t place = start;
    for (;;) {
      const int32_t source = from[place];
      done[place] = true;
      if (source == start) {
        std::memcpy(&table->records[place], spare, sizeof *spare);
        break;
      }
      std::memcpy(&table->records[place], &table->records[source], sizeof *spare);
      place = source;
    }
  }
}

}  // namespace

void scan_session_dirs(SessionTable *table, const char *root) {
  table->name_count = 0;
  table->by_activity = 0;
  g_scan.table = table;
  g_scan.listed = 0;
  g_scan.heap_size = 0;
  qv_list_dir(root, take_entry, &g_scan);
  if (table->by_activity != 0) order_chosen_names(&g_scan);
}

void load_session_table(SessionTable *table, const char *root, SessionRecord *scratch) {
  table->count = 0;
  const bool by_activity = table->by_activity != 0;
  for (int32_t i = 0; i < table->name_count; ++i) g_load_order[i] = i;
  if (by_activity) {
    g_ranked_table = table;
    std::qsort(g_load_order, static_cast<size_t>(table->name_count), sizeof g_load_order[0],
               cmp_more_recent);
  }
  for (int32_t i = 0; i < table->name_count && table->count < kMaxSessions; ++i) {
    const int32_t name = g_load_order[i];
    if (load_session(root, table->names[name], scratch) != 0) {
      std::memcpy(&table->records[table->count], scratch, sizeof *scratch);
      g_record_names[table->count] = name;
      ++table->count;
    }
  }
  if (by_activity) order_records_by_name(table, scratch);
}

const SessionRecord *find_session(const SessionTable *table, const char *sid) {
  for (int i = 0; i < table->count; ++i) {
    const SessionRecord *record = &table->records[i];
    if (std::strcmp(record->dir, sid) == 0 || std::strcmp(record->id, sid) == 0) return record;
  }
  return nullptr;
}
