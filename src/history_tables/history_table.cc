#include "history_tables/history_table.h"

#include <cstdlib>
#include <cstring>

#include "session/saturating.h"
#include "text/str_copy.h"

namespace {

constexpr int32_t kSlotCount = 2 * kMaxRows;

uint32_t hash_of(const char *key) {
  uint32_t hash = 2166136261U;  // FNV-1a
  for (const char *p = key; *p != '\0'; ++p) {
    hash = (hash ^ static_cast<unsigned char>(*p)) * 16777619U;
  }
  return hash;
}

// Where `number` is or would go in by_number: the first place whose row's
// number is not below it.
int32_t place_of(const HistoryTable *table, int64_t number) {
  int32_t low = 0;
  int32_t high = table->count;
  while (low < high) {
    const int32_t middle = low + (high - low) / 2;
    if (table->rows[table->by_number[middle]].number < number) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

HistoryRow *overflow(HistoryTable *table) {
  table->overflowed = true;
  return &table->other;
}

HistoryRow *new_row(HistoryTable *table) {
  HistoryRow *row = &table->rows[table->count];
  std::memset(row, 0, sizeof *row);
  row->last_session = -1;
  return row;
}

}  // namespace

void add_figures(Figures *sum, const Figures &part) {
  sum->sessions = add_saturating(sum->sessions, part.sessions);
  sum->turns = add_saturating(sum->turns, part.turns);
  sum->active_sec = add_saturating(sum->active_sec, part.active_sec);
  sum->wall_sec = add_saturating(sum->wall_sec, part.wall_sec);
  sum->tool_calls = add_saturating(sum->tool_calls, part.tool_calls);
  sum->input_tokens = add_saturating(sum->input_tokens, part.input_tokens);
  sum->output_tokens = add_saturating(sum->output_tokens, part.output_tokens);
  sum->cache_read_tokens = add_saturating(sum->cache_read_tokens, part.cache_read_tokens);
  sum->cache_creation_tokens =
      add_saturating(sum->cache_creation_tokens, part.cache_creation_tokens);
}

void history_table_init(HistoryTable *table, bool by_time) {
  table->by_time = by_time;
  table->overflowed = false;
  table->count = 0;
  std::memset(&table->other, 0, sizeof table->other);
  str_copy(table->other.key, sizeof table->other.key, "(other)");
  table->other.last_session = -1;
  for (int32_t &slot : table->slots) slot = -1;
}

HistoryRow *row_for_number(HistoryTable *table, int64_t number) {
  const int32_t place = place_of(table, number);
  if (place < table->count && table->rows[table->by_number[place]].number == number) {
    return &table->rows[table->by_number[place]];
  }
  if (table->count == kMaxRows) return overflow(table);
  HistoryRow *row = new_row(table);
  row->number = number;
  std::memmove(&table->by_number[place + 1], &table->by_number[place],
               sizeof table->by_number[0] * static_cast<size_t>(table->count - place));
  table->by_number[place] = table->count++;
  return row;
}

int64_t same_row_through(const HistoryTable *table, int64_t number) {
  if (table->count < kMaxRows) return number;
  const int32_t place = place_of(table, number);
  if (place == table->count) return INT64_MAX;
  const int64_t next = table->rows[table->by_number[place]].number;
  return next == number ? number : next - 1;
}

HistoryRow *row_for_key(HistoryTable *table, const char *key) {
  char cut[kRowKeyCapacity];
  str_copy(cut, sizeof cut, key);
  auto slot = static_cast<int32_t>(hash_of(cut) % kSlotCount);
  for (; table->slots[slot] >= 0; slot = (slot + 1) % kSlotCount) {
    HistoryRow *row = &table->rows[table->slots[slot]];
    if (std::strcmp(row->key, cut) == 0) return row;
  }
  if (table->count == kMaxRows) return overflow(table);
  HistoryRow *row = new_row(table);
  std::memcpy(row->key, cut, sizeof cut);
  table->slots[slot] = table->count++;
  return row;
}

void add_to_row(HistoryRow *row, const Figures &part, int64_t session) {
  Figures counted = part;
  counted.sessions = row->last_session == session ? 0 : 1;
  row->last_session = session;
  add_figures(&row->figures, counted);
}

namespace {

const HistoryTable *g_sorted;

int cmp_more_active(const void *a, const void *b) {
  const HistoryRow &x = g_sorted->rows[*static_cast<const int32_t *>(a)];
  const HistoryRow &y = g_sorted->rows[*static_cast<const int32_t *>(b)];
  if (x.figures.active_sec != y.figures.active_sec) {
    return x.figures.active_sec > y.figures.active_sec ? -1 : 1;
  }
  return std::strcmp(x.key, y.key);
}

}  // namespace

int32_t rows_in_report_order(const HistoryTable *table, int32_t order[kMaxRows]) {
  if (table->by_time) {
    std::memcpy(order, table->by_number, sizeof order[0] * static_cast<size_t>(table->count));
    return table->count;
  }
  for (int32_t i = 0; i < table->count; ++i) order[i] = i;
  g_sorted = table;
  std::qsort(order, static_cast<size_t>(table->count), sizeof order[0], cmp_more_active);
  return table->count;
}
