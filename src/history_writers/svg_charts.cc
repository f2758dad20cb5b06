#include "history_writers/svg_charts.h"

#include <cstdio>
#include <cstdlib>

#include "history_tables/calendar.h"
#include "history_tables/grouping.h"
#include "history_writers/html_text.h"
#include "output/output.h"
#include "report/json_out.h"

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 86400;

// Axis steps a reader counts in without effort.
constexpr int64_t kSteps[] = {kMinute,      2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute,
                              30 * kMinute, kHour,       2 * kHour,   3 * kHour,    4 * kHour,
                              6 * kHour,    12 * kHour,  kDay,        2 * kDay,     5 * kDay,
                              10 * kDay,    20 * kDay,   50 * kDay,   100 * kDay,   200 * kDay,
                              500 * kDay,   1000 * kDay};

constexpr const char *kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The step of an axis that reaches `top` in at most five steps.
int64_t axis_step(int64_t top) {
  for (const int64_t step : kSteps) {
    if (top <= 5 * step) return step;
  }
  return (top / 5 / kDay + 1) * kDay;
}

// A time axis that reaches the longest bar (active and idle together) in
// whole steps; an hour when every bar is empty.
struct TimeAxis {
  int64_t step;
  int64_t top;
};

template <typename Bar>
TimeAxis axis_for(const Bar *bars, int count) {
  int64_t most = 0;
  for (int i = 0; i < count; ++i) {
    if (bars[i].active + bars[i].idle > most) most = bars[i].active + bars[i].idle;
  }
  const int64_t step = axis_step(most > 0 ? most : kHour);
  const int64_t top = (most + step - 1) / step * step;
  return {step, top > 0 ? top : step};
}

// "active 1h 02m 03s, idle 05m 00s": the figures of a mark's tooltip.
void figures_title(int64_t active, int64_t idle) {
  char active_text[64];
  char idle_text[64];
  format_duration(active, active_text);
  format_duration(idle, idle_text);
  out_format("active %s, idle %s", active_text, idle_text);
}

void svg_open(const char *label, const char *css_class, int width, int height, bool scales) {
  out_format("<svg class=\"%s\" role=\"img\" aria-label=\"", css_class);
  html_text(label);
  if (scales) {
    out_format("\" viewBox=\"0 0 %d %d\" preserveAspectRatio=\"xMinYMin meet\">", width, height);
  } else {
    out_format("\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">", width, height, width,
               height);
  }
}

void heat_cell(int level, double x, double y, double width, double height) {
  out_format(
      "<rect class=\"heat l%d\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" rx=\"2\">",
      level, x, y, width, height);
}

}  // namespace

void time_words(int64_t seconds, char *out, int capacity) {
  const auto size = static_cast<size_t>(capacity);
  const long long s = seconds;
  if (s <= 0) {
    std::snprintf(out, size, "0");
  } else if (s % kDay == 0) {
    std::snprintf(out, size, "%lldd", s / kDay);
  } else if (s >= kDay) {
    std::snprintf(out, size, "%lldd %lldh", s / kDay, s % kDay / kHour);
  } else if (s % kHour == 0) {
    std::snprintf(out, size, "%lldh", s / kHour);
  } else if (s >= kHour) {
    std::snprintf(out, size, "%lldh %lldm", s / kHour, s % kHour / kMinute);
  } else if (s % kMinute == 0) {
    std::snprintf(out, size, "%lldm", s / kMinute);
  } else {
    std::snprintf(out, size, "%llds", s);
  }
}

void svg_shared_defs() {
  // Idle marks: stripes of the idle colour over a pale ground, so that they
  // read apart from active marks in any colour vision and in print.
  out_text(
      "<svg class=\"defs\" width=\"0\" height=\"0\" aria-hidden=\"true\" focusable=\"false\">"
      "<defs><pattern id=\"idle-hatch\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
      "patternTransform=\"rotate(45)\"><rect class=\"hatch-ground\" width=\"6\" height=\"6\"/>"
      "<rect class=\"hatch-line\" width=\"3\" height=\"6\"/></pattern></defs></svg>\n");
}

void svg_time_bars(const char *label, const TimeBar *bars, int count) {
  constexpr int kWidth = 1000;
  constexpr int kHeight = 280;
  constexpr double kLeft = 56;
  constexpr double kTop = 12;
  constexpr double kPlotWidth = kWidth - kLeft - 8;
  constexpr double kPlotHeight = kHeight - kTop - 40;
  const TimeAxis axis = axis_for(bars, count);
  const int64_t step = axis.step;
  const int64_t top = axis.top;
  const double per_second = kPlotHeight / static_cast<double>(top);
  svg_open(label, "chart time", kWidth, kHeight, true);
  for (int64_t tick = 0; tick <= top; tick += step) {
    const double y = kTop + kPlotHeight - static_cast<double>(tick) * per_second;
    char words[32];
    time_words(tick, words, sizeof words);
    out_format(
        "<line class=\"grid\" x1=\"%.1f\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\"/>"
        "<text class=\"tick\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>",
        kLeft, kWidth - 8, y, y, kLeft - 6, y + 4, words);
  }
  const double slot = kPlotWidth / (count > 0 ? count : 1);
  const double width = slot > 3 ? slot * 0.8 : slot;
  const int label_every = count / 12 + 1;
  for (int i = 0; i < count; ++i) {
    const TimeBar &bar = bars[i];
    const double x = kLeft + slot * i + (slot - width) / 2;
    const double active_height = static_cast<double>(bar.active) * per_second;
    const double idle_height = static_cast<double>(bar.idle) * per_second;
    const double base = kTop + kPlotHeight;
    out_format("<g class=\"bar\" data-key=\"%s\"><title>%s: ", bar.key, bar.key);
    figures_title(bar.active, bar.idle);
    out_format(", %lld sessions</title>", static_cast<long long>(bar.sessions));
    out_format("<rect class=\"idle\" x=\"%.2f\" y=\"%.3f\" width=\"%.2f\" height=\"%.3f\"/>", x,
               base - active_height - idle_height, width, idle_height);
    out_format("<rect class=\"active\" x=\"%.2f\" y=\"%.3f\" width=\"%.2f\" height=\"%.3f\"/></g>",
               x, base - active_height, width, active_height);
    if (i % label_every == 0) {
      out_format("<text class=\"tick\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>",
                 x + width / 2, base + 16, bar.label);
    }
  }
  out_text("</svg>\n");
}

HeatScale heat_scale(const int64_t *values, int count) {
  static int64_t sorted[7 * 24 * 64];
  int used = 0;
  for (int i = 0; i < count && used < static_cast<int>(sizeof sorted / sizeof sorted[0]); ++i) {
    if (values[i] > 0) sorted[used++] = values[i];
  }
  std::qsort(sorted, static_cast<size_t>(used), sizeof sorted[0], [](const void *a, const void *b) {
    const int64_t x = *static_cast<const int64_t *>(a);
    const int64_t y = *static_cast<const int64_t *>(b);
    return x < y ? -1 : x > y ? 1 : 0;
  });
  HeatScale scale{};
  scale.most = used > 0 ? sorted[used - 1] : 0;
  for (int q = 0; q < 3; ++q) {
    const int64_t value = used > 0 ? sorted[(used - 1) * (q + 1) / 4] : 0;
    scale.thresholds[q] = (value + kMinute - 1) / kMinute * kMinute;
    if (scale.thresholds[q] < kMinute) scale.thresholds[q] = kMinute;
    if (q > 0 && scale.thresholds[q] < scale.thresholds[q - 1]) {
      scale.thresholds[q] = scale.thresholds[q - 1];
    }
  }
  return scale;
}

int heat_level(const HeatScale &scale, int64_t value) {
  if (value <= 0) return 0;
  for (int q = 0; q < 3; ++q) {
    if (value <= scale.thresholds[q]) return q + 1;
  }
  return 4;
}

void heat_legend(const HeatScale &scale) {
  char low[32];
  char high[32];
  out_text("<ul class=\"legend\"><li><span class=\"swatch l0\"></span>no active time</li>");
  time_words(scale.thresholds[0], high, sizeof high);
  out_format("<li><span class=\"swatch l1\"></span>up to %s</li>", high);
  // Levels that no value can reach (equal quartiles) are left out.
  for (int q = 1; q < 3; ++q) {
    if (scale.thresholds[q] == scale.thresholds[q - 1]) continue;
    time_words(scale.thresholds[q - 1], low, sizeof low);
    time_words(scale.thresholds[q], high, sizeof high);
    out_format("<li><span class=\"swatch l%d\"></span>over %s, up to %s</li>", q + 1, low, high);
  }
  if (scale.most > scale.thresholds[2]) {
    time_words(scale.thresholds[2], low, sizeof low);
    out_format("<li><span class=\"swatch l4\"></span>over %s</li>", low);
  }
  out_text("</ul>\n");
}

void svg_calendar(const char *label, const DayCell *cells, int count, int64_t first_day,
                  int64_t window_first, int64_t last_day, const HeatScale &scale) {
  constexpr double kPitch = 13;
  constexpr double kCell = 11;
  constexpr double kLeft = 32;
  constexpr double kTop = 18;
  const int64_t first_week = period_of_day(Period::kWeek, first_day);
  const int64_t weeks = period_of_day(Period::kWeek, last_day) - first_week + 1;
  // Room after the last column for a month's name that starts there.
  const int width = static_cast<int>(kLeft + kPitch * static_cast<double>(weeks)) + 16;
  const int height = static_cast<int>(kTop + kPitch * 7) + 2;
  svg_open(label, "chart calendar", width, height, false);
  constexpr int kDayRows[] = {0, 2, 4};
  for (const int row : kDayRows) {
    out_format("<text class=\"tick\" x=\"0\" y=\"%.1f\">%.3s</text>", kTop + kPitch * row + 9,
               folded_row_name(GroupBy::kWeekday, row));
  }
  // A month's name above the week of its first day.
  for (int64_t day = first_day; day <= last_day; ++day) {
    const CivilDate date = civil_from_days(day);
    if (date.day != 1 && day != first_day) continue;
    if (day == first_day && date.day > 14) continue;  // no room before the next name
    const int64_t column = period_of_day(Period::kWeek, day) - first_week;
    out_format("<text class=\"tick\" x=\"%.1f\" y=\"11\">%s</text>",
               kLeft + kPitch * static_cast<double>(column), kMonthNames[date.month - 1]);
  }
  int at = 0;
  for (int64_t day = first_day; day <= last_day; ++day) {
    while (at < count && cells[at].day < day) ++at;
    const bool found = at < count && cells[at].day == day;
    const int64_t active = found ? cells[at].active : 0;
    const int64_t idle = found ? cells[at].idle : 0;
    const int64_t column = period_of_day(Period::kWeek, day) - first_week;
    const int64_t row = day - period_first_day(Period::kWeek, period_of_day(Period::kWeek, day));
    char key[16];
    format_period(Period::kDay, day, key, sizeof key);
    const double x = kLeft + kPitch * static_cast<double>(column);
    const double y = kTop + kPitch * static_cast<double>(row);
    if (day < window_first) {
      out_format(
          "<rect class=\"outside\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" "
          "rx=\"2\"><title>%s %s: outside the window</title></rect>",
          x + 0.5, y + 0.5, kCell - 1, kCell - 1, key, folded_row_name(GroupBy::kWeekday, row));
      continue;
    }
    heat_cell(heat_level(scale, active), x, y, kCell, kCell);
    out_format("<title>%s %s: ", key, folded_row_name(GroupBy::kWeekday, row));
    figures_title(active, idle);
    out_text("</title></rect>");
  }
  out_text("</svg>\n");
}

void svg_week_grid(const char *label, const int64_t active[7 * 24], const HeatScale &scale) {
  constexpr double kPitchX = 26;
  constexpr double kPitchY = 20;
  constexpr double kLeft = 84;
  constexpr double kTop = 18;
  const int width = static_cast<int>(kLeft + kPitchX * 24) + 2;
  const int height = static_cast<int>(kTop + kPitchY * 7) + 2;
  svg_open(label, "chart week", width, height, false);
  for (int hour = 0; hour < 24; hour += 3) {
    out_format("<text class=\"tick\" x=\"%.1f\" y=\"12\">%s</text>", kLeft + kPitchX * hour,
               folded_row_name(GroupBy::kHour, hour));
  }
  for (int weekday = 0; weekday < 7; ++weekday) {
    const char *name = folded_row_name(GroupBy::kWeekday, weekday);
    out_format("<text class=\"tick\" x=\"0\" y=\"%.1f\">%s</text>", kTop + kPitchY * weekday + 13,
               name);
    for (int hour = 0; hour < 24; ++hour) {
      const int64_t value = active[weekday * 24 + hour];
      char words[64];
      format_duration(value, words);
      heat_cell(heat_level(scale, value), kLeft + kPitchX * hour, kTop + kPitchY * weekday,
                kPitchX - 2, kPitchY - 2);
      out_format("<title>%s %s:00 to %02d:00: active %s</title></rect>", name,
                 folded_row_name(GroupBy::kHour, hour), (hour + 1) % 24, words);
    }
  }
  out_text("</svg>\n");
}

void svg_named_bars(const char *label, const NamedBar *bars, int count) {
  // Narrower than the time chart: two or three of these stand side by side
  // on a wide screen, and their text should not shrink there.
  constexpr int kWidth = 600;
  constexpr double kLabelWidth = 190;
  constexpr double kLeft = 200;
  constexpr double kPlotWidth = kWidth - kLeft - 80;
  constexpr double kRow = 24;
  const int height = static_cast<int>(kRow * count + 28);
  const TimeAxis axis = axis_for(bars, count);
  const int64_t step = axis.step;
  const int64_t top = axis.top;
  const double per_second = kPlotWidth / static_cast<double>(top);
  svg_open(label, "chart named", kWidth, height, true);
  const double axis_y = kRow * count + 4;
  for (int64_t tick = 0; tick <= top; tick += step) {
    const double x = kLeft + static_cast<double>(tick) * per_second;
    char words[32];
    time_words(tick, words, sizeof words);
    out_format(
        "<line class=\"grid\" x1=\"%.1f\" x2=\"%.1f\" y1=\"0\" y2=\"%.1f\"/>"
        "<text class=\"tick\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>",
        x, x, axis_y, x, axis_y + 16, words);
  }
  for (int i = 0; i < count; ++i) {
    const NamedBar &bar = bars[i];
    const double y = kRow * i + 4;
    const double active_width = static_cast<double>(bar.active) * per_second;
    const double idle_width = static_cast<double>(bar.idle) * per_second;
    out_text("<g class=\"bar\"><title>");
    html_text(bar.name);
    out_text(": ");
    figures_title(bar.active, bar.idle);
    out_format("</title><text class=\"name\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">",
               kLabelWidth, y + 13);
    html_text_tail(bar.name, 28);
    out_format("</text><rect class=\"idle\" x=\"%.3f\" y=\"%.1f\" width=\"%.3f\" height=\"16\"/>",
               kLeft + active_width, y, idle_width);
    out_format("<rect class=\"active\" x=\"%.1f\" y=\"%.1f\" width=\"%.3f\" height=\"16\"/>", kLeft,
               y, active_width);
    char words[64];
    format_duration(bar.active, words);
    out_format("<text class=\"value\" x=\"%.1f\" y=\"%.1f\">%s</text></g>",
               kLeft + active_width + idle_width + 4, y + 13, words);
  }
  out_text("</svg>\n");
}
