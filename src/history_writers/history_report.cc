#include "history_writers/history_report.h"

#include <cstdio>
#include <cstring>

#include "history_writers/figures_text.h"
#include "output/output.h"
#include "report/json_out.h"
#include "text/text_width.h"

namespace {

constexpr int kKeyWidthCap = 48;

// Columns of the figures in the table: heading and width.
struct Column {
  const char *heading;
  int width;
};

constexpr Column kFigureColumns[] = {
    {"sessions", 8},       {"turns", 7},       {"active", 12},     {"idle", 12},
    {"wall", 12},          {"duty", 6},        {"tool calls", 10}, {"input tokens", 13},
    {"output tokens", 13}, {"cache read", 13}, {"cache write", 13}};

// Names of the figures in JSON members and CSV headings.
constexpr const char *kFigureNames[] = {"sessions",
                                        "turns",
                                        "active_sec",
                                        "idle_sec",
                                        "wall_sec",
                                        "duty_cycle_pct",
                                        "tool_calls",
                                        "input_tokens",
                                        "output_tokens",
                                        "cache_read_tokens",
                                        "cache_creation_tokens"};

constexpr int kProfileWidth = 10;
constexpr int kModelWidth = 14;

// A text cell of the table: control bytes, which a terminal would act on,
// show as "?"; padded with spaces to `width` characters.
void table_text(const char *text, int width, bool pad) {
  for (const char *p = text; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    out_char(byte < 0x20 || byte == 0x7F ? '?' : *p);
  }
  if (!pad) return;
  for (int shown = text_width(text); shown < width; ++shown) out_char(' ');
}

void table_right(const char *text, int width) {
  for (int shown = text_width(text); shown < width; ++shown) out_char(' ');
  out_text(text);
}

void table_figures(const Figures &figures) {
  char cells[11][64];
  std::snprintf(cells[0], 64, "%lld", ll(figures.sessions));
  std::snprintf(cells[1], 64, "%lld", ll(figures.turns));
  format_duration(figures.active_sec, cells[2]);
  format_duration(idle_of(figures), cells[3]);
  format_duration(figures.wall_sec, cells[4]);
  std::snprintf(cells[5], 64, "%.1f%%", duty_of(figures));
  std::snprintf(cells[6], 64, "%lld", ll(figures.tool_calls));
  std::snprintf(cells[7], 64, "%lld", ll(figures.input_tokens));
  std::snprintf(cells[8], 64, "%lld", ll(figures.output_tokens));
  std::snprintf(cells[9], 64, "%lld", ll(figures.cache_read_tokens));
  std::snprintf(cells[10], 64, "%lld", ll(figures.cache_creation_tokens));
  for (int i = 0; i < 11; ++i) {
    out_text("  ");
    table_right(cells[i], kFigureColumns[i].width);
  }
}

void table_headings() {
  for (const Column &column : kFigureColumns) {
    out_text("  ");
    table_right(column.heading, column.width);
  }
}

void csv_figures(const Figures &figures) {
  out_format(",%lld,%lld,%lld,%lld,%lld,%.2f,%lld,%lld,%lld,%lld,%lld", ll(figures.sessions),
             ll(figures.turns), ll(figures.active_sec), ll(idle_of(figures)), ll(figures.wall_sec),
             duty_of(figures), ll(figures.tool_calls), ll(figures.input_tokens),
             ll(figures.output_tokens), ll(figures.cache_read_tokens),
             ll(figures.cache_creation_tokens));
}

// A CSV field: quoted when it holds a comma, a double quote (doubled inside)
// or a line break. Other control bytes are dropped, as the JSON writer drops
// them; tabs and line breaks stay, as the JSON writer keeps them escaped.
void csv_text(const char *text) {
  const bool quoted = std::strpbrk(text, ",\"\r\n") != nullptr;
  if (quoted) out_char('"');
  for (const char *p = text; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    const bool kept = byte == '\t' || byte == '\r' || byte == '\n';
    if ((byte < 0x20 && !kept) || byte == 0x7F) continue;
    if (*p == '"') out_char('"');
    out_char(*p);
  }
  if (quoted) out_char('"');
}

void json_optional(const char *name, const char *text) {
  out_format(",\"%s\":", name);
  if (text != nullptr) {
    json_str(text);
  } else {
    out_text("null");
  }
}

// The end of a CSV record; with several roots, the last column names them in
// the total record and is empty elsewhere.
void csv_end(const ReportWriter &writer, bool total) {
  if (writer.roots != nullptr) {
    out_char(',');
    if (total) {
      static char names[8192];
      names[0] = '\0';
      for (int i = 0; i < writer.root_count; ++i) {
        const size_t used = std::strlen(names);
        std::snprintf(names + used, sizeof names - used, "%s%s", i == 0 ? "" : "; ",
                      writer.roots[i].name);
      }
      csv_text(names);
    }
  }
  out_text("\r\n");
}

}  // namespace

void report_begin(ReportWriter *writer, const ReportHeading &heading, int key_width) {
  writer->roots = heading.root_count > 1 ? heading.roots : nullptr;
  writer->root_count = heading.root_count;
  writer->by = heading.by;
  writer->format = heading.format;
  writer->rows = 0;
  const char *key = group_by_name(heading.by);
  const int heading_width = text_width(key);
  writer->key_width = key_width > kKeyWidthCap ? kKeyWidthCap : key_width;
  if (writer->key_width < heading_width) writer->key_width = heading_width;
  if (writer->key_width < 5) writer->key_width = 5;  // "total"
  const bool sessions = heading.by == GroupBy::kSession;
  switch (writer->format) {
    case OutputFormat::kHtml:  // written whole, from finished tables
    case OutputFormat::kPrometheus:
      return;
    case OutputFormat::kTable:
      table_text(key, writer->key_width, true);
      if (sessions) {
        out_text("  start                live  ");
        table_text("profile", kProfileWidth, true);
        out_text("  ");
        table_text("model", kModelWidth, true);
      }
      table_headings();
      if (sessions) out_text("  project");
      out_char('\n');
      return;
    case OutputFormat::kJson:
      out_format("{\"by\":\"%s\",\"tz\":", key);
      json_str(heading.zone_text);
      json_optional("since", heading.since);
      json_optional("until", heading.until);
      if (writer->roots == nullptr) {
        out_text(",\"sessions_root\":");
        json_str(heading.sessions_root);
      } else {
        out_text(",\"roots\":[");
        for (int i = 0; i < heading.root_count; ++i) {
          out_text(i == 0 ? "{\"name\":" : ",{\"name\":");
          json_str(heading.roots[i].name);
          out_text(",\"path\":");
          json_str(heading.roots[i].path);
          out_char('}');
        }
        out_char(']');
      }
      out_text(",\"rows\":[");
      return;
    case OutputFormat::kCsv:
      out_text(key);
      if (sessions && writer->roots != nullptr) out_text(",root");
      if (sessions) out_text(",id,start,profile,model,project,live");
      for (const char *name : kFigureNames) out_format(",%s", name);
      if (writer->roots != nullptr) out_text(",roots");
      out_text("\r\n");
      return;
  }
}

void report_row(ReportWriter *writer, const char *key, const Figures &figures) {
  switch (writer->format) {
    case OutputFormat::kHtml:  // written whole, from finished tables
    case OutputFormat::kPrometheus:
      return;
    case OutputFormat::kTable:
      table_text(key, writer->key_width, true);
      table_figures(figures);
      out_char('\n');
      break;
    case OutputFormat::kJson:
      out_format("%s{\"%s\":", writer->rows == 0 ? "" : ",", group_by_name(writer->by));
      json_str(key);
      out_char(',');
      json_figures(figures);
      break;
    case OutputFormat::kCsv:
      csv_text(key);
      csv_figures(figures);
      csv_end(*writer, false);
      break;
  }
  ++writer->rows;
}

void report_session_row(ReportWriter *writer, const SessionFacts &facts, const Figures &figures) {
  switch (writer->format) {
    case OutputFormat::kHtml:  // written whole, from finished tables
    case OutputFormat::kPrometheus:
      return;
    case OutputFormat::kTable:
      if (facts.root != nullptr) {
        // NAME/folder, padded as one key.
        static char key[600];
        std::snprintf(key, sizeof key, "%s/%s", facts.root, facts.dir);
        table_text(key, writer->key_width, true);
      } else {
        table_text(facts.dir, writer->key_width, true);
      }
      out_text("  ");
      table_text(facts.start, 19, true);
      out_text(facts.live ? "  live  " : "  -     ");
      table_text(facts.profile[0] != '\0' ? facts.profile : "-", kProfileWidth, true);
      out_text("  ");
      table_text(facts.model[0] != '\0' ? facts.model : "-", kModelWidth, true);
      table_figures(figures);
      out_text("  ");
      table_text(facts.cwd, 0, false);
      out_char('\n');
      break;
    case OutputFormat::kJson:
      out_text(writer->rows == 0 ? "{\"session\":" : ",{\"session\":");
      json_str(facts.dir);
      if (facts.root != nullptr) {
        out_text(",\"root\":");
        json_str(facts.root);
      }
      out_text(",\"id\":");
      json_str(facts.id);
      out_text(",\"start\":");
      json_str(facts.start);
      out_format(",\"start_epoch\":%lld,\"profile\":", ll(facts.start_epoch));
      json_str(facts.profile);
      out_text(",\"model\":");
      json_str(facts.model);
      out_text(",\"project\":");
      json_str(facts.cwd);
      out_format(",\"live\":%s,", facts.live ? "true" : "false");
      json_figures(figures);
      break;
    case OutputFormat::kCsv:
      csv_text(facts.dir);
      out_char(',');
      if (facts.root != nullptr) {
        csv_text(facts.root);
        out_char(',');
      }
      csv_text(facts.id);
      out_char(',');
      csv_text(facts.start);
      out_char(',');
      csv_text(facts.profile);
      out_char(',');
      csv_text(facts.model);
      out_char(',');
      csv_text(facts.cwd);
      out_text(facts.live ? ",true" : ",false");
      csv_figures(figures);
      csv_end(*writer, false);
      break;
  }
  ++writer->rows;
}

void report_end(ReportWriter *writer, const Figures &total) {
  const bool sessions = writer->by == GroupBy::kSession;
  switch (writer->format) {
    case OutputFormat::kHtml:  // written whole, from finished tables
    case OutputFormat::kPrometheus:
      return;
    case OutputFormat::kTable:
      table_text("total", writer->key_width, true);
      // Past the start, live, profile and model columns.
      if (sessions) table_text("", 2 + 19 + 2 + 4 + 2 + kProfileWidth + 2 + kModelWidth, true);
      table_figures(total);
      out_char('\n');
      return;
    case OutputFormat::kJson:
      out_text("],\"total\":{");
      json_figures(total);
      out_text("}\n");
      return;
    case OutputFormat::kCsv:
      out_text(sessions ? "total,,,,,," : "total");
      if (sessions && writer->roots != nullptr) out_char(',');
      csv_figures(total);
      csv_end(*writer, true);
      return;
  }
}
