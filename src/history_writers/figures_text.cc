#include "history_writers/figures_text.h"

#include "output/output.h"

double duty_of(const Figures &figures) {
  if (figures.wall_sec <= 0) return 0.0;
  const double duty =
      static_cast<double>(figures.active_sec) * 100.0 / static_cast<double>(figures.wall_sec);
  return duty > 100.0 ? 100.0 : duty;
}

int64_t idle_of(const Figures &figures) {
  const int64_t idle = figures.wall_sec - figures.active_sec;
  return idle > 0 ? idle : 0;
}

void json_figures(const Figures &figures) {
  out_format(
      "\"sessions\":%lld,\"turns\":%lld,\"active_sec\":%lld,\"idle_sec\":%lld,\"wall_sec\":%lld,"
      "\"duty_cycle_pct\":%.2f,\"tool_calls\":%lld,\"input_tokens\":%lld,\"output_tokens\":%lld,"
      "\"cache_read_tokens\":%lld,\"cache_creation_tokens\":%lld}",
      ll(figures.sessions), ll(figures.turns), ll(figures.active_sec), ll(idle_of(figures)),
      ll(figures.wall_sec), duty_of(figures), ll(figures.tool_calls), ll(figures.input_tokens),
      ll(figures.output_tokens), ll(figures.cache_read_tokens), ll(figures.cache_creation_tokens));
}
