#include "history_writers/html_data.h"

#include "history_tables/grouping.h"
#include "history_writers/figures_text.h"
#include "history_writers/html_text.h"
#include "output/output.h"

namespace {

constexpr const char *kBreakdownNames[3] = {"project", "model", "profile"};

void optional_day(const char *name, bool known, int64_t day) {
  out_format(",\"%s\":", name);
  if (!known) {
    out_text("null");
    return;
  }
  char text[32];
  format_period(Period::kDay, day, text, sizeof text);
  out_format("\"%s\"", text);
}

void optional_text(const char *name, const char *text) {
  out_format(",\"%s\":", name);
  if (text == nullptr) {
    out_text("null");
  } else {
    page_json_str(text);
  }
}

// Rows of time of `table` from period `from` to `to`, those that have any.
void time_rows(const HistoryTable &table, Period period, int64_t from, int64_t to) {
  out_char('[');
  bool first = true;
  for (int32_t i = 0; i < table.count; ++i) {
    const HistoryRow &row = table.rows[table.by_number[i]];
    if (row.number < from || row.number > to) continue;
    char key[32];
    format_period(period, row.number, key, sizeof key);
    out_format("%s{\"%s\":\"%s\",", first ? "" : ",", period_name(period), key);
    json_figures(row.figures);
    first = false;
  }
  out_char(']');
}

void session_rows(const HistoryTally &tally) {
  out_char('[');
  for (int32_t i = 0; i < tally.top_count; ++i) {
    const TalliedSession &session = tally.top[i];
    out_text(i == 0 ? "{\"session\":" : ",{\"session\":");
    page_json_str(session.dir);
    out_text(",\"id\":");
    page_json_str(session.id);
    out_text(",\"start\":");
    page_json_str(session.start);
    out_format(",\"start_epoch\":%lld,\"profile\":", ll(session.start_epoch));
    page_json_str(session.profile);
    out_text(",\"model\":");
    page_json_str(session.model);
    out_text(",\"project\":");
    page_json_str(session.cwd);
    out_format(",\"live\":%s,", session.live ? "true" : "false");
    Figures figures = session.figures;
    figures.sessions = 1;
    json_figures(figures);
  }
  out_char(']');
}

}  // namespace

void write_page_data(const HistoryTally &tally, const HtmlPage &page, const PageModel &model) {
  out_text("<script type=\"application/json\" id=\"history-data\">{\"version\":");
  page_json_str(page.version);
  out_text(",\"sessions_root\":");
  page_json_str(page.sessions_root);
  out_text(",\"tz\":");
  page_json_str(page.zone_text);
  optional_text("since", page.since);
  optional_text("until", page.until);
  optional_day("first_day", model.has_window, model.first_day);
  optional_day("last_day", model.has_window, model.last_day);
  out_format(",\"made\":%lld,\"period\":\"%s\",\"total\":{", ll(page.made),
             period_name(model.period));
  json_figures(tally.total);
  out_text(",\"periods\":");
  const int64_t last_period = model.first_period + model.period_count - 1;
  time_rows(*model.periods, model.period, model.first_period, last_period);
  out_text(",\"days\":");
  time_rows(tally.days, Period::kDay, model.calendar_window_first, model.last_day);
  for (int i = 0; i < 3; ++i) {
    out_format(",\"%ss\":{\"rows\":[", kBreakdownNames[i]);
    for (int32_t r = 0; r < model.named_count[i]; ++r) {
      out_format("%s{\"%s\":", r == 0 ? "" : ",", kBreakdownNames[i]);
      page_json_str(model.named[i][r].key);
      out_char(',');
      json_figures(model.named[i][r].figures);
    }
    out_text("],\"total\":{");
    json_figures(tally.named_total);
    out_char('}');
  }
  out_text(",\"sessions\":");
  session_rows(tally);
  out_text(",\"week\":[");
  for (int cell = 0; cell < 7 * 24; ++cell) {
    out_format("%s{\"weekday\":\"%s\",\"hour\":\"%s\",", cell == 0 ? "" : ",",
               folded_row_name(GroupBy::kWeekday, cell / 24),
               folded_row_name(GroupBy::kHour, cell % 24));
    json_figures(period_figures(tally.week, cell));
  }
  out_text("]}</script>\n");
}
