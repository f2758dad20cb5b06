#include "history_writers/html_report.h"

#include <cstdio>

#include "history_tables/grouping.h"
#include "history_writers/figures_text.h"
#include "history_writers/html_data.h"
#include "history_writers/html_style.h"
#include "history_writers/html_text.h"
#include "history_writers/svg_charts.h"
#include "output/output.h"
#include "report/json_out.h"
#include "text/str_copy.h"

namespace {

constexpr const char *kBreakdownTitles[3] = {"project", "model", "profile"};

void day_text(int64_t day, char *out, size_t capacity) {
  format_period(Period::kDay, day, out, capacity);
}

// A cell of a count or a duration: the exact figure in data-value, for
// whoever checks the page against its data.
void count_cell(int64_t value) {
  out_format("<td data-value=\"%lld\">%lld</td>", ll(value), ll(value));
}

void duration_cell(int64_t seconds) {
  char text[64];
  format_duration(seconds, text);
  out_format("<td data-value=\"%lld\">%s</td>", ll(seconds), text);
}

void duty_cell(const Figures &figures) {
  out_format("<td data-value=\"%.2f\">%.1f%%</td>", duty_of(figures), duty_of(figures));
}

void name_cell(const char *name) {
  out_text("<td class=\"name\">");
  html_text(name);
  out_text("</td>");
}

// A box that scrolls sideways when what it holds is wider than the page: a
// named region the keyboard can reach, so that it scrolls without a mouse.
void scroll_open(const char *kind, const char *name) {
  out_format("<section class=\"scroll\" tabindex=\"0\" aria-label=\"%s: ", kind);
  html_text(name);
  out_text("\">");
}

void scroll_close() {
  out_text("</section>");
}

void table_head(const char *caption, const char *const *headings, int count) {
  scroll_open("Table", caption);
  out_text("<table><caption class=\"note\">");
  html_text(caption);
  out_text("</caption><thead><tr>");
  for (int i = 0; i < count; ++i) out_format("<th scope=\"col\">%s</th>", headings[i]);
  out_text("</tr></thead><tbody>\n");
}

void table_end() {
  out_text("</tbody></table>");
  scroll_close();
  out_text("\n");
}

// The figures of a row of time or of a name, after its first cell.
void figure_cells(const Figures &figures) {
  count_cell(figures.sessions);
  duration_cell(figures.active_sec);
  duration_cell(idle_of(figures));
  duration_cell(figures.wall_sec);
  duty_cell(figures);
  count_cell(figures.turns);
  count_cell(figures.tool_calls);
}

constexpr const char *kFigureHeadings[] = {"Sessions",   "Active", "Idle",      "Wall",
                                           "Duty cycle", "Turns",  "Tool calls"};

void figures_table(const char *caption, const char *first_heading) {
  const char *headings[8] = {first_heading};
  for (int i = 0; i < 7; ++i) headings[i + 1] = kFigureHeadings[i];
  table_head(caption, headings, 8);
}

void section_open(const char *id, const char *title) {
  out_format("<section aria-labelledby=\"%s\"><h2 id=\"%s\">%s</h2>\n", id, id, title);
}

void series_legend() {
  out_text(
      "<ul class=\"legend\"><li><span class=\"swatch active\"></span>active (solid)</li>"
      "<li><span class=\"swatch idle\"></span>idle, waiting for the user (striped)</li></ul>\n");
}

void total_item(const char *name, const char *value_text, long long value) {
  out_format("<div><dt>%s</dt><dd data-value=\"%lld\">%s</dd></div>", name, value, value_text);
}

void write_totals(const Figures &total) {
  section_open("totals", "Totals");
  out_text("<dl class=\"totals\">");
  char text[64];
  std::snprintf(text, sizeof text, "%lld", ll(total.sessions));
  total_item("Sessions", text, total.sessions);
  format_duration(total.active_sec, text);
  total_item("Active", text, total.active_sec);
  format_duration(idle_of(total), text);
  total_item("Idle", text, idle_of(total));
  format_duration(total.wall_sec, text);
  total_item("Wall", text, total.wall_sec);
  out_format("<div><dt>Duty cycle</dt><dd data-value=\"%.2f\">%.1f%%</dd></div>", duty_of(total),
             duty_of(total));
  std::snprintf(text, sizeof text, "%lld", ll(total.turns));
  total_item("Turns", text, total.turns);
  std::snprintf(text, sizeof text, "%lld", ll(total.tool_calls));
  total_item("Tool calls", text, total.tool_calls);
  const int64_t tokens[4] = {total.input_tokens, total.output_tokens, total.cache_read_tokens,
                             total.cache_creation_tokens};
  constexpr const char *kTokenNames[4] = {"Input tokens", "Output tokens", "Cache read tokens",
                                          "Cache write tokens"};
  for (int i = 0; i < 4; ++i) {
    std::snprintf(text, sizeof text, "%lld", ll(tokens[i]));
    total_item(kTokenNames[i], text, tokens[i]);
  }
  out_text("</dl></section>\n");
}

void axis_label(Period period, int64_t number, char *out, size_t capacity) {
  char key[32];
  format_period(period, number, key, sizeof key);
  // Days as MM-DD and weeks as Www: the year is in the heading and tooltips.
  str_copy(out, capacity, period == Period::kMonth ? key : key + 5);
}

void write_time(const PageModel &model) {
  static TimeBar bars[kMaxShownPeriods];
  char title[96];
  std::snprintf(title, sizeof title, "Active and idle time by %s", period_name(model.period));
  section_open("time", title);
  series_legend();
  for (int32_t i = 0; i < model.period_count; ++i) {
    const int64_t number = model.first_period + i;
    const Figures figures = period_figures(*model.periods, number);
    TimeBar &bar = bars[i];
    format_period(model.period, number, bar.key, sizeof bar.key);
    axis_label(model.period, number, bar.label, sizeof bar.label);
    bar.active = figures.active_sec;
    bar.idle = idle_of(figures);
    bar.sessions = figures.sessions;
  }
  char label[160];
  std::snprintf(label, sizeof label,
                "Stacked bars of active and idle time for each %s of the window, active at the "
                "base",
                period_name(model.period));
  scroll_open("Chart", title);
  svg_time_bars(label, bars, model.period_count);
  scroll_close();
  out_format("<details><summary>Figures by %s</summary>", period_name(model.period));
  figures_table(title, model.period == Period::kDay    ? "Day"
                       : model.period == Period::kWeek ? "Week"
                                                       : "Month");
  for (int32_t i = 0; i < model.periods->count; ++i) {
    const HistoryRow &row = model.periods->rows[model.periods->by_number[i]];
    if (row.number < model.first_period || row.number >= model.first_period + model.period_count) {
      continue;
    }
    char key[32];
    format_period(model.period, row.number, key, sizeof key);
    out_format("<tr><td>%s</td>", key);
    figure_cells(row.figures);
    out_text("</tr>\n");
  }
  table_end();
  out_text("</details></section>\n");
}

void write_calendar(const HistoryTally &tally, const PageModel &model) {
  static DayCell cells[kCalendarWeeks * 7 + 7];
  static int64_t values[kCalendarWeeks * 7 + 7];
  int count = 0;
  for (int32_t i = 0; i < tally.days.count; ++i) {
    const HistoryRow &row = tally.days.rows[tally.days.by_number[i]];
    if (row.number < model.calendar_window_first || row.number > model.last_day) continue;
    cells[count] = {row.number, row.figures.active_sec, idle_of(row.figures)};
    values[count] = row.figures.active_sec;
    ++count;
  }
  const HeatScale scale = heat_scale(values, count);
  section_open("calendar", "Active time by day");
  char first[16];
  char last[16];
  day_text(model.calendar_window_first, first, sizeof first);
  day_text(model.last_day, last, sizeof last);
  char label[160];
  std::snprintf(label, sizeof label,
                "Calendar of active time per day from %s to %s, weeks as columns, Monday first",
                first, last);
  scroll_open("Chart", "Active time by day");
  svg_calendar(label, cells, count, model.calendar_first_day, model.calendar_window_first,
               model.last_day, scale);
  scroll_close();
  heat_legend(scale);
  out_text("<details><summary>Figures by day</summary>");
  figures_table("Days with time in the calendar", "Day");
  for (int32_t i = 0; i < tally.days.count; ++i) {
    const HistoryRow &row = tally.days.rows[tally.days.by_number[i]];
    if (row.number < model.calendar_window_first || row.number > model.last_day) continue;
    char key[16];
    day_text(row.number, key, sizeof key);
    out_format("<tr><td>%s</td>", key);
    figure_cells(row.figures);
    out_text("</tr>\n");
  }
  table_end();
  out_text("</details></section>\n");
}

void write_week(const HistoryTally &tally, const HtmlPage &page) {
  int64_t active[7 * 24];
  for (int cell = 0; cell < 7 * 24; ++cell)
    active[cell] = period_figures(tally.week, cell).active_sec;
  const HeatScale scale = heat_scale(active, 7 * 24);
  section_open("week", "The week's rhythm");
  out_text("<p class=\"note\">Active time by weekday and hour of the day, zone ");
  html_text(page.zone_text);
  out_text(".</p>");
  scroll_open("Chart", "Active time by weekday and hour");
  svg_week_grid("Grid of active time by weekday, Monday first, and hour of the day", active, scale);
  scroll_close();
  heat_legend(scale);
  out_text("<details><summary>Figures by weekday and hour</summary>");
  const char *headings[25] = {"Weekday"};
  for (int hour = 0; hour < 24; ++hour) headings[hour + 1] = folded_row_name(GroupBy::kHour, hour);
  table_head("Active time by weekday and hour", headings, 25);
  for (int weekday = 0; weekday < 7; ++weekday) {
    out_format("<tr><th scope=\"row\">%s</th>", folded_row_name(GroupBy::kWeekday, weekday));
    for (int hour = 0; hour < 24; ++hour) duration_cell(active[weekday * 24 + hour]);
    out_text("</tr>\n");
  }
  table_end();
  out_text("</details></section>\n");
}

void write_breakdowns(const PageModel &model) {
  static NamedBar bars[kShownNames + 1];
  out_text("<div class=\"cols\">\n");
  for (int i = 0; i < 3; ++i) {
    char id[16];
    char title[64];
    std::snprintf(id, sizeof id, "by-%s", kBreakdownTitles[i]);
    std::snprintf(title, sizeof title, "By %s", kBreakdownTitles[i]);
    section_open(id, title);
    const int32_t count = model.named_count[i];
    for (int32_t r = 0; r < count; ++r) {
      const ShownRow &row = model.named[i][r];
      bars[r] = {row.key, row.figures.active_sec, idle_of(row.figures)};
    }
    char label[160];
    std::snprintf(label, sizeof label,
                  "Horizontal bars of active and idle time by %s, the largest first",
                  kBreakdownTitles[i]);
    if (count == 0) out_text("<p class=\"note\">No sessions in this window.</p>");
    if (count > 0) {
      scroll_open("Chart", title);
      svg_named_bars(label, bars, count);
      scroll_close();
    }
    out_format("<details><summary>Figures by %s</summary>", kBreakdownTitles[i]);
    char caption[64];
    std::snprintf(caption, sizeof caption, "Time by %s", kBreakdownTitles[i]);
    figures_table(caption, title + 3);
    for (int32_t r = 0; r < count; ++r) {
      out_text("<tr>");
      name_cell(model.named[i][r].key);
      figure_cells(model.named[i][r].figures);
      out_text("</tr>\n");
    }
    table_end();
    out_text("</details></section>\n");
  }
  out_text("</div>\n");
}

void write_sessions(const HistoryTally &tally) {
  section_open("sessions", "The most active sessions");
  constexpr const char *kHeadings[] = {"Start",  "Project", "Profile",    "Model",
                                       "Active", "Idle",    "Duty cycle", "Turns"};
  table_head("Sessions with the most active time in the window", kHeadings, 8);
  for (int32_t i = 0; i < tally.top_count; ++i) {
    const TalliedSession &session = tally.top[i];
    out_text("<tr><td title=\"");
    html_text(session.dir);
    out_text("\">");
    html_text(session.start);
    out_text("</td>");
    name_cell(session.cwd);
    name_cell(session.profile);
    name_cell(session.model);
    duration_cell(session.figures.active_sec);
    duration_cell(idle_of(session.figures));
    duty_cell(session.figures);
    count_cell(session.figures.turns);
    out_text("</tr>\n");
  }
  table_end();
  out_text("</section>\n");
}

void write_heading(const HtmlPage &page, const PageModel &model) {
  char first[16] = "";
  char last[16] = "";
  if (model.has_window) {
    day_text(model.first_day, first, sizeof first);
    day_text(model.last_day, last, sizeof last);
  }
  char made[40];
  format_local_time({ZoneKind::kUtc, 0}, page.made, made, sizeof made);
  out_text("<title>Agent time: ");
  html_text(page.sessions_root);
  out_text("</title>\n<style>");
  out_text(kHistoryPageStyle);
  out_text("</style>\n</head>\n<body>\n");
  svg_shared_defs();
  out_text("<header><h1>Where the agent's time went</h1><p class=\"meta\">Sessions root <code>");
  html_text(page.sessions_root);
  if (model.has_window) {
    out_format(
        "</code> &middot; <time datetime=\"%s\">%s</time> to <time datetime=\"%s\">%s</time>",
        first, first, last, last);
  } else {
    out_text("</code> &middot; no activity");
  }
  out_text(" &middot; zone ");
  html_text(page.zone_text);
  out_text(" &middot; rudeze_duziruzuderi-history ");
  html_text(page.version);
  out_format(" &middot; made %s UTC</p></header>\n<main>\n", made);
}

}  // namespace

void write_html_report(const HistoryTally &tally, const HtmlPage &page) {
  static PageModel model;
  build_page_model(tally, page, &model);
  out_text(
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"color-scheme\" content=\"light dark\">\n");
  write_heading(page, model);
  write_totals(tally.total);
  if (model.has_window) {
    write_time(model);
    write_calendar(tally, model);
  }
  write_week(tally, page);
  write_breakdowns(model);
  write_sessions(tally);
  out_text("</main>\n");
  write_page_data(tally, page, model);
  out_text("</body>\n</html>\n");
}
