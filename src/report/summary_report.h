// The summary reply: totals over all loaded sessions, per-profile and per-model
// buckets, and every session object.
#pragma once

#include <cstdint>

#include "session/session_record.h"

constexpr int kMaxBuckets = 64;

struct UsageBucket {
  char name[64];  // profile or model, or "unknown"
  int32_t sessions;
  int64_t active_sec;
  int32_t turns;
};

struct SummaryTotals {
  char sessions_root[1024];
  int32_t root_found;
  int32_t count;
  int64_t total_sec;
  int64_t active_sec;
  int64_t idle_sec;
  double duty_cycle_pct;
  int32_t turns;
  int32_t active_now;
  int32_t tool_events;
  const SessionRecord *sessions;
};

// Adds one session to a bucket list; an empty name counts as "unknown", and a
// 65th distinct name is dropped.
void bucket_add(UsageBucket *buckets, int32_t *bucket_count, const char *name, int64_t active_sec,
                int32_t turns);

// The totals over `count` records: sums saturate, idle time is never negative
// and the duty cycle stays within 0 to 100.
void add_up_sessions(const SessionRecord *records, int32_t count, SummaryTotals *totals);

// qsort comparators: most recent last_epoch (or most active_sec) first, then by
// name in byte order.
int cmp_session_desc(const void *a, const void *b);
int cmp_bucket_desc(const void *a, const void *b);

// Sorts the `count` loaded records and their tools in place and writes the
// reply.
void print_summary_json(SessionRecord *records, int32_t count, const char *sessions_root,
                        int root_found);
