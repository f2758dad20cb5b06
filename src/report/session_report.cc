#include "report/session_report.h"

#include <cstring>

#include "output/output.h"
#include "report/json_out.h"
#include "report/version.h"

void sort_tools(SessionRecord *record) {
  for (int i = 1; i < record->tool_count; ++i) {
    char name[128];
    std::memcpy(name, record->tool_names[i], sizeof name);
    const int32_t calls = record->tool_calls[i];
    int gap = i;
    while (gap > 0 && record->tool_calls[gap - 1] < calls) {
      std::memcpy(record->tool_names[gap], record->tool_names[gap - 1], sizeof name);
      record->tool_calls[gap] = record->tool_calls[gap - 1];
      --gap;
    }
    std::memcpy(record->tool_names[gap], name, sizeof name);
    record->tool_calls[gap] = calls;
  }
}

namespace {

void text_member(const char *prefix, const char *value) {
  out_text(prefix);
  json_str(value);
}

}  // namespace

void print_session_obj(const SessionRecord *r) {
  text_member("{\"id\":", r->id);
  text_member(",\"dir\":", r->dir);
  text_member(",\"model\":", r->model);
  text_member(",\"provider\":", r->provider);
  text_member(",\"profile\":", r->profile);
  text_member(",\"branch\":", r->branch);
  text_member(",\"cwd\":", r->cwd);
  text_member(",\"start_time\":", r->start_time);
  out_format(",\"first_epoch\":%lld,\"last_epoch\":%lld,\"is_active\":%s",
             static_cast<long long>(r->first_epoch), static_cast<long long>(r->last_epoch),
             r->is_active != 0 ? "true" : "false");
  json_duration_members(",", "total", r->total_sec);
  json_duration_members(",", "active", r->active_sec);
  json_duration_members(",", "idle", r->idle_sec);
  const double avg_turn =
      r->turns > 0 ? static_cast<double>(r->active_sec) / static_cast<double>(r->turns) : 0.0;
  out_format(",\"duty_cycle_pct\":%.2f,\"turns\":%d,\"avg_turn_sec\":%.1f", r->duty_cycle_pct,
             r->turns, avg_turn);
  out_format(",\"tokens\":{\"in\":%lld,\"out\":%lld,\"cache_read\":%lld,\"cache_write\":%lld}",
             static_cast<long long>(r->tokens_in), static_cast<long long>(r->tokens_out),
             static_cast<long long>(r->cache_read), static_cast<long long>(r->cache_write));
  out_text(",\"tools\":[");
  for (int i = 0; i < r->tool_count; ++i) {
    text_member(i == 0 ? "{\"name\":" : ",{\"name\":", r->tool_names[i]);
    out_format(",\"calls\":%d}", r->tool_calls[i]);
  }
  out_text("]}");
}

void print_session_json(const SessionRecord *r, const char *sessions_root) {
  json_header();
  out_format("{\"ok\":true,\"plugin\":\"%s\",\"version\":\"%s\"", kPluginName, kPluginVersion);
  text_member(",\"sessions_root\":", sessions_root);
  out_text(",\"session\":");
  print_session_obj(r);
  out_text(",\"summary\":{");
  // The summary member repeats the session's own figures in the same formats.
  json_duration_members("", "total", r->total_sec);
  json_duration_members(",", "active", r->active_sec);
  json_duration_members(",", "idle", r->idle_sec);
  out_format(",\"duty_cycle_pct\":%.2f,\"turns\":%d}}\n", r->duty_cycle_pct, r->turns);
}
