// A row's figures as every writer of the history shows them: idle time and
// duty cycle derived the same way, and the JSON members of a row.
#pragma once

#include <cstdint>

#include "history_tables/history_table.h"

// Active time as a share of wall time, 0 to 100.
double duty_of(const Figures &figures);

// Wall time less active time, never below 0.
int64_t idle_of(const Figures &figures);

inline long long ll(int64_t value) {
  return static_cast<long long>(value);
}

// The figure members of a JSON row and the brace that ends it:
// "sessions":N,...,"cache_creation_tokens":N}
void json_figures(const Figures &figures);
