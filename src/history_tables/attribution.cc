#include "history_tables/attribution.h"

#include <cstring>
#include <limits>

namespace {

constexpr int64_t kTimeMax = std::numeric_limits<int64_t>::max();

bool in_window(const Window &window, int64_t t) {
  return window.begin <= t && t < window.end;
}

int64_t max_of(int64_t a, int64_t b) {
  return a > b ? a : b;
}

int64_t min_of(int64_t a, int64_t b) {
  return a < b ? a : b;
}

// The end of the range of buckets from `number` that go to one row.
int64_t row_range_end(Attribution *attribution, int64_t number, int64_t *through) {
  *through = attribution->sink.same_row_through(attribution->sink.context, number);
  return *through == kTimeMax ? kTimeMax : bucket_numbered(attribution->calendar, *through).end;
}

// The pending piece of bucket `number`, or null when it cannot be held: a
// number before the first is a line back in time; one too far, an overflow.
PendingPiece *pending_piece(Attribution *attribution, int64_t number) {
  const int64_t index = number - attribution->base;
  if (index < 0) {
    attribution->out_of_order = true;
    return nullptr;
  }
  if (index >= kMaxPendingBuckets) {
    attribution->overflowed = true;
    return nullptr;
  }
  if (index >= attribution->used) attribution->used = static_cast<int32_t>(index + 1);
  return &attribution->pending[index];
}

bool still_counting(const Attribution *attribution) {
  return attribution->any_line && !attribution->out_of_order && !attribution->overflowed;
}

// Figures of one instant (a turn or a tool call) at t, inside the window.
void add_instant(Attribution *attribution, int64_t t, bool turn) {
  const Bucket bucket = bucket_at(attribution->calendar, t);
  if (attribution->direct) {
    Figures figures{};
    (turn ? figures.turns : figures.tool_calls) = 1;
    attribution->sink.add(attribution->sink.context, bucket.number, figures);
    return;
  }
  if (PendingPiece *piece = pending_piece(attribution, bucket.number)) {
    ++(turn ? piece->turns : piece->tool_calls);
  }
}

// Active time from `from` to `to`, both inside the window, bucket by bucket.
void add_active(Attribution *attribution, int64_t from, int64_t to) {
  while (from < to && still_counting(attribution)) {
    const Bucket bucket = bucket_at(attribution->calendar, from);
    int64_t until = min_of(to, bucket.end);
    if (attribution->direct) {
      int64_t through = 0;
      until = min_of(to, row_range_end(attribution, bucket.number, &through));
      Figures figures{};
      figures.active_sec = until - from;
      attribution->sink.add(attribution->sink.context, bucket.number, figures);
    } else if (PendingPiece *piece = pending_piece(attribution, bucket.number)) {
      piece->active_sec += until - from;
    }
    from = until;
  }
}

void on_line(void *context, int64_t t, int tool_call) {
  auto *attribution = static_cast<Attribution *>(context);
  if (!attribution->any_line) {
    attribution->any_line = true;
    // Every later piece of an in-order session lies at or after this line
    // and inside the window.
    attribution->base =
        bucket_at(attribution->calendar, max_of(t, attribution->window.begin)).number;
  } else if (t < attribution->previous) {
    attribution->out_of_order = true;
  }
  attribution->previous = t;
  if (tool_call != 0 && still_counting(attribution) && in_window(attribution->window, t)) {
    add_instant(attribution, t, false);
  }
}

void on_run(void *context, int64_t start, int64_t end) {
  auto *attribution = static_cast<Attribution *>(context);
  if (end < start) attribution->out_of_order = true;
  if (!still_counting(attribution)) return;
  const Window &window = attribution->window;
  if (in_window(window, start)) add_instant(attribution, start, true);
  add_active(attribution, max_of(start, window.begin), min_of(end, window.end));
}

// Sums the pending pieces of buckets first to last.
void add_pending(const Attribution *attribution, int64_t first, int64_t last, Figures *figures) {
  const int64_t from = max_of(first - attribution->base, 0);
  const int64_t to = min_of(last - attribution->base, attribution->used - 1);
  for (int64_t i = from; i <= to; ++i) {
    const PendingPiece &piece = attribution->pending[i];
    figures->turns += piece.turns;
    figures->active_sec += piece.active_sec;
    figures->tool_calls += piece.tool_calls;
  }
}

void add_tokens(const SessionRecord &record, Figures *figures) {
  figures->input_tokens = record.tokens_in;
  figures->output_tokens = record.tokens_out;
  figures->cache_read_tokens = record.cache_read;
  figures->cache_creation_tokens = record.cache_write;
}

// The whole session, as its session reply gives it, in the bucket of `t`.
void add_whole(Attribution *attribution, const SessionRecord &record, int64_t t) {
  Figures figures{};
  figures.sessions = 1;
  figures.turns = record.turns;
  figures.active_sec = record.active_sec;
  figures.wall_sec = record.total_sec;
  for (int i = 0; i < record.tool_count; ++i) figures.tool_calls += record.tool_calls[i];
  add_tokens(record, &figures);
  attribution->sink.add(attribution->sink.context, bucket_at(attribution->calendar, t).number,
                        figures);
}

}  // namespace

int64_t span_start(const SessionRecord &record) {
  return record.start_epoch > 0 && record.start_epoch < record.first_epoch ? record.start_epoch
                                                                           : record.first_epoch;
}

void attribution_init(Attribution *attribution, Calendar *calendar, Window window, PieceSink sink) {
  attribution->calendar = calendar;
  attribution->window = window;
  attribution->sink = sink;
  attribution->used = kMaxPendingBuckets;  // so that beginning clears them all
  attribution_begin(attribution, false);
}

void attribution_begin(Attribution *attribution, bool direct) {
  std::memset(attribution->pending, 0,
              sizeof attribution->pending[0] * static_cast<size_t>(attribution->used));
  attribution->used = 0;
  attribution->direct = direct;
  attribution->any_line = false;
  attribution->out_of_order = false;
  attribution->overflowed = false;
  attribution->previous = 0;
  attribution->base = 0;
}

ReplayObserver attribution_observer(Attribution *attribution) {
  return {attribution, on_line, on_run};
}

bool attribution_needs_second_reading(const Attribution *attribution) {
  return attribution->overflowed && !attribution->out_of_order && !attribution->direct;
}

bool attribution_finish(Attribution *attribution, const SessionRecord &record,
                        bool count_timeless) {
  const Window &window = attribution->window;
  if (record.first_epoch == 0) {
    if (!count_timeless) return false;
    Figures figures{};
    figures.sessions = 1;
    add_tokens(record, &figures);
    attribution->sink.add(attribution->sink.context, 0, figures);
    return true;
  }
  const int64_t last = record.last_epoch;
  if (attribution->out_of_order || record.first_epoch > last) {
    if (!in_window(window, last)) return false;
    add_whole(attribution, record, last);
    return true;
  }
  // The span runs from its start to the last line; the last line itself is
  // an instant of the span, so a span ending where the window begins still
  // touches it.
  const int64_t start = span_start(record);
  if (last < window.begin || start >= window.end) return false;
  const int64_t from = max_of(start, window.begin);
  const int64_t wall_to = min_of(last, window.end);
  const int64_t touched_to = min_of(last, window.end - 1);
  int64_t number = bucket_at(attribution->calendar, from).number;
  for (;;) {
    int64_t through = 0;
    const int64_t begin = bucket_numbered(attribution->calendar, number).start;
    const int64_t end = row_range_end(attribution, number, &through);
    Figures figures{};
    figures.sessions = 1;
    figures.wall_sec = max_of(0, min_of(wall_to, end) - max_of(from, begin));
    add_pending(attribution, number, through, &figures);
    if (in_window(window, last) && begin <= last && last < end) add_tokens(record, &figures);
    attribution->sink.add(attribution->sink.context, number, figures);
    if (end > touched_to || through == kTimeMax) break;
    number = through + 1;
  }
  return true;
}
