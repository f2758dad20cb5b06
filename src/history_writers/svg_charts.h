// The history page's charts as inline SVG: stacked bars of active and idle
// time, a year calendar, the week's rhythm and horizontal bars by name. Each
// chart is one <svg role="img"> with a label that says what it shows; every
// mark carries its exact figures in a <title> tooltip and in data attributes.
// Active time is solid, idle time hatched (the pattern "idle-hatch" that
// svg_shared_defs writes), so colour is never the only cue.
#pragma once

#include <cstdint>

// The pattern every chart's idle marks use; written once, before the charts.
void svg_shared_defs();

// One bar of the time chart.
struct TimeBar {
  char key[32];    // the period as the reports name it
  char label[16];  // what the axis shows under it
  int64_t active;
  int64_t idle;
  int64_t sessions;
};

void svg_time_bars(const char *label, const TimeBar *bars, int count);

// Heat levels: a value above 0 is level 1 up to thresholds[0], 2 up to
// thresholds[1], 3 up to thresholds[2], 4 above. Quartiles of the values above
// 0, rounded up to whole minutes, so that one outlier does not wash out the
// rest and each level can be said in words.
struct HeatScale {
  int64_t thresholds[3];
  int64_t most;  // the largest value
};
HeatScale heat_scale(const int64_t *values, int count);
int heat_level(const HeatScale &scale, int64_t value);
// The legend: each level's colour and what it means in words.
void heat_legend(const HeatScale &scale);

// One day of the calendar.
struct DayCell {
  int64_t day;  // days from 1970-01-01
  int64_t active;
  int64_t idle;
};

// Weeks as columns, Monday first, from the week of `first_day` to that of
// `last_day`; month names above. Days before `window_first` are outside the
// window and drawn as such.
void svg_calendar(const char *label, const DayCell *cells, int count, int64_t first_day,
                  int64_t window_first, int64_t last_day, const HeatScale &scale);

// Active time by weekday (rows, Monday first) and hour (columns).
void svg_week_grid(const char *label, const int64_t active[7 * 24], const HeatScale &scale);

// One bar of a breakdown.
struct NamedBar {
  const char *name;
  int64_t active;
  int64_t idle;
};

void svg_named_bars(const char *label, const NamedBar *bars, int count);

// "0", "45m", "2h", "1h 30m", "3d": a tick of a time axis in words.
void time_words(int64_t seconds, char *out, int capacity);
