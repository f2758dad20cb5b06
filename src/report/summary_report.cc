#include "report/summary_report.h"

#include <cstdlib>
#include <cstring>

#include "output/output.h"
#include "report/json_out.h"
#include "report/session_report.h"
#include "report/version.h"
#include "session/saturating.h"
#include "text/str_copy.h"

void bucket_add(UsageBucket *buckets, int32_t *bucket_count, const char *name, int64_t active_sec,
                int32_t turns) {
  if (name[0] == '\0') name = "unknown";
  for (int32_t i = 0; i < *bucket_count; ++i) {
    UsageBucket *bucket = &buckets[i];
    if (std::strcmp(bucket->name, name) == 0) {
      ++bucket->sessions;
      bucket->active_sec = add_saturating(bucket->active_sec, active_sec);
      bucket->turns = add_saturating(bucket->turns, turns);
      return;
    }
  }
  if (*bucket_count >= kMaxBuckets) return;
  UsageBucket *bucket = &buckets[*bucket_count];
  str_copy(bucket->name, sizeof bucket->name, name);
  bucket->sessions = 1;
  bucket->active_sec = active_sec;
  bucket->turns = turns;
  ++*bucket_count;
}

int cmp_session_desc(const void *a, const void *b) {
  const auto *x = static_cast<const SessionRecord *>(a);
  const auto *y = static_cast<const SessionRecord *>(b);
  if (x->last_epoch != y->last_epoch) return x->last_epoch > y->last_epoch ? -1 : 1;
  return std::strcmp(x->dir, y->dir);
}

int cmp_bucket_desc(const void *a, const void *b) {
  const auto *x = static_cast<const UsageBucket *>(a);
  const auto *y = static_cast<const UsageBucket *>(b);
  if (x->active_sec != y->active_sec) return x->active_sec > y->active_sec ? -1 : 1;
  return std::strcmp(x->name, y->name);
}

namespace {

void print_buckets(const char *opening, const char *key, const UsageBucket *buckets,
                   int32_t count) {
  out_text(opening);
  for (int32_t i = 0; i < count; ++i) {
    out_format("%s{\"%s\":", i == 0 ? "" : ",", key);
    json_str(buckets[i].name);
    out_format(",\"sessions\":%d,\"active_sec\":%lld,\"turns\":%d}", buckets[i].sessions,
               static_cast<long long>(buckets[i].active_sec), buckets[i].turns);
  }
  out_text("]");
}

}  // namespace

void add_up_sessions(const SessionRecord *records, int32_t count, SummaryTotals *totals) {
  totals->count = count;
  totals->sessions = records;
  for (int32_t i = 0; i < count; ++i) {
    const SessionRecord *record = &records[i];
    totals->total_sec = add_saturating(totals->total_sec, record->total_sec);
    totals->active_sec = add_saturating(totals->active_sec, record->active_sec);
    totals->turns = add_saturating(totals->turns, record->turns);
    if (record->is_active != 0) ++totals->active_now;
    for (int t = 0; t < record->tool_count; ++t) {
      totals->tool_events = add_saturating(totals->tool_events, record->tool_calls[t]);
    }
  }
  totals->idle_sec = totals->total_sec - totals->active_sec;
  if (totals->idle_sec < 0) totals->idle_sec = 0;
  totals->duty_cycle_pct = totals->total_sec > 0 ? static_cast<double>(totals->active_sec) * 100.0 /
                                                       static_cast<double>(totals->total_sec)
                                                 : 0.0;
  // Huge equal times round so that the quotient can pass 100 by a last bit.
  if (totals->duty_cycle_pct > 100.0) totals->duty_cycle_pct = 100.0;
}

void print_summary_json(SessionRecord *records, int32_t count, const char *sessions_root,
                        int root_found) {
  if (count > 1) {
    std::qsort(records, static_cast<size_t>(count), sizeof records[0], cmp_session_desc);
  }
  for (int32_t i = 0; i < count; ++i) sort_tools(&records[i]);

  SummaryTotals totals{};
  add_up_sessions(records, count, &totals);
  str_copy(totals.sessions_root, sizeof totals.sessions_root, sessions_root);
  totals.root_found = root_found;

  UsageBucket profiles[kMaxBuckets] = {};
  UsageBucket models[kMaxBuckets] = {};
  int32_t profile_count = 0;
  int32_t model_count = 0;
  for (int32_t i = 0; i < count; ++i) {
    const SessionRecord *record = &records[i];
    bucket_add(profiles, &profile_count, record->profile, record->active_sec, record->turns);
    bucket_add(models, &model_count, record->model, record->active_sec, record->turns);
  }
  std::qsort(profiles, static_cast<size_t>(profile_count), sizeof profiles[0], cmp_bucket_desc);
  std::qsort(models, static_cast<size_t>(model_count), sizeof models[0], cmp_bucket_desc);

  json_header();
  out_format("{\"ok\":true,\"plugin\":\"%s\",\"version\":\"%s\",\"sessions_root\":", kPluginName,
             kPluginVersion);
  json_str(totals.sessions_root);
  out_format(",\"root_found\":%s,\"count\":%d,\"active_now\":%d",
             totals.root_found != 0 ? "true" : "false", totals.count, totals.active_now);
  json_duration_members(",", "total", totals.total_sec);
  json_duration_members(",", "active", totals.active_sec);
  json_duration_members(",", "idle", totals.idle_sec);
  out_format(",\"duty_cycle_pct\":%.2f,\"turns\":%d,\"tool_events\":%d", totals.duty_cycle_pct,
             totals.turns, totals.tool_events);
  print_buckets(",\"profiles\":[", "profile", profiles, profile_count);
  print_buckets(",\"models\":[", "model", models, model_count);
  out_text(",\"sessions\":[");
  for (int32_t i = 0; i < totals.count; ++i) {
    if (i > 0) out_text(",");
    print_session_obj(&totals.sessions[i]);
  }
  out_text("]}\n");
}
