#include "history_writers/prometheus_report.h"

#include <cstdlib>
#include <cstring>

#include "history_writers/figures_text.h"
#include "history_writers/html_text.h"
#include "output/output.h"

namespace {

constexpr const char *kPrefix = "rudeze_duziruzuderi_";

// A label value: \\, \" and \n escaped as the format says, other control
// characters dropped, bytes that are not UTF-8 as U+FFFD.
void label_value(const char *text, size_t length) {
  out_char('"');
  for (size_t i = 0; i < length;) {
    int size = 1;
    const int32_t c = next_code_point(text + i, &size);
    if (c == '\\') {
      out_text("\\\\");
    } else if (c == '"') {
      out_text("\\\"");
    } else if (c == '\n') {
      out_text("\\n");
    } else if (c < 0) {
      out_text("\xEF\xBF\xBD");
    } else if (c >= 0x20 && c != 0x7F) {
      out_bytes(text + i, static_cast<size_t>(size));
    }
    i += static_cast<size_t>(size);
  }
  out_char('"');
}

struct KeyParts {
  const char *root;
  size_t root_length;
  const char *profile;
  size_t profile_length;
  const char *model;
};

KeyParts parts_of(const char *key) {
  KeyParts parts{};
  parts.root = key;
  const char *first = std::strchr(key, kMetricsKeySeparator);
  const char *second = first != nullptr ? std::strchr(first + 1, kMetricsKeySeparator) : nullptr;
  if (second == nullptr) return {key, std::strlen(key), "", 0, ""};
  parts.root_length = static_cast<size_t>(first - key);
  parts.profile = first + 1;
  parts.profile_length = static_cast<size_t>(second - first - 1);
  parts.model = second + 1;
  return parts;
}

void group_labels(const MetricsInput &input, const char *key, const char *extra) {
  const KeyParts parts = parts_of(key);
  out_char('{');
  if (input.by_root) {
    out_text("root=");
    label_value(parts.root, parts.root_length);
    out_char(',');
  }
  out_text("profile=");
  label_value(parts.profile, parts.profile_length);
  out_text(",model=");
  label_value(parts.model, std::strlen(parts.model));
  if (extra != nullptr) out_text(extra);
  out_char('}');
}

void family(const char *name, const char *help) {
  out_format("# HELP %s%s %s\n# TYPE %s%s gauge\n", kPrefix, name, help, kPrefix, name);
}

const HistoryTable *g_sorted;

int by_key(const void *a, const void *b) {
  return std::strcmp(g_sorted->rows[*static_cast<const int32_t *>(a)].key,
                     g_sorted->rows[*static_cast<const int32_t *>(b)].key);
}

using FigureOf = int64_t (*)(const Figures &);

struct GroupFamily {
  const char *name;
  const char *help;
  FigureOf figure;
};

const GroupFamily kGroupFamilies[] = {
    {"active_seconds", "Time the agent spent working, in sessions of the window.",
     [](const Figures &f) { return f.active_sec; }},
    {"idle_seconds", "Time the agent waited for the user: wall time less active time.",
     [](const Figures &f) { return idle_of(f); }},
    {"wall_seconds", "Wall-clock span of the sessions inside the window.",
     [](const Figures &f) { return f.wall_sec; }},
    {"turns", "Agent runs started.", [](const Figures &f) { return f.turns; }},
    {"tool_calls", "Tool calls made.", [](const Figures &f) { return f.tool_calls; }},
    {"sessions", "Sessions with time in the window.", [](const Figures &f) { return f.sessions; }},
};

struct TokenKind {
  const char *label;
  FigureOf figure;
};

const TokenKind kTokenKinds[] = {
    {",kind=\"input\"", [](const Figures &f) { return f.input_tokens; }},
    {",kind=\"output\"", [](const Figures &f) { return f.output_tokens; }},
    {",kind=\"cache_read\"", [](const Figures &f) { return f.cache_read_tokens; }},
    {",kind=\"cache_write\"", [](const Figures &f) { return f.cache_creation_tokens; }},
};

void root_labels(const MetricsInput &input, const MetricsRoot &root) {
  if (!input.by_root) return;
  out_text("{root=");
  label_value(root.name, std::strlen(root.name));
  out_char('}');
}

}  // namespace

void write_prometheus(const MetricsInput &input) {
  static int32_t order[kMaxRows + 1];
  const HistoryTable &table = *input.groups;
  int32_t count = 0;
  for (int32_t i = 0; i < table.count; ++i) order[count++] = i;
  g_sorted = &table;
  std::qsort(order, static_cast<size_t>(count), sizeof order[0], by_key);
  const auto row_of = [&table](int32_t index) -> const HistoryRow & { return table.rows[index]; };
  for (const GroupFamily &group : kGroupFamilies) {
    family(group.name, group.help);
    for (int32_t i = 0; i < count; ++i) {
      out_format("%s%s", kPrefix, group.name);
      group_labels(input, row_of(order[i]).key, nullptr);
      out_format(" %lld\n", ll(group.figure(row_of(order[i]).figures)));
    }
  }
  family("tokens", "Tokens of the sessions, by kind, as their stats.json counts them.");
  for (const TokenKind &kind : kTokenKinds) {
    for (int32_t i = 0; i < count; ++i) {
      out_format("%stokens", kPrefix);
      group_labels(input, row_of(order[i]).key, kind.label);
      out_format(" %lld\n", ll(kind.figure(row_of(order[i]).figures)));
    }
  }
  family("live_sessions", "Sessions the agent is working in now.");
  for (int i = 0; i < input.root_count; ++i) {
    out_format("%slive_sessions", kPrefix);
    root_labels(input, input.roots[i]);
    out_format(" %lld\n", ll(input.roots[i].live));
  }
  family("last_activity_timestamp_seconds", "Time of the newest activity, seconds since 1970.");
  for (int i = 0; i < input.root_count; ++i) {
    if (input.roots[i].newest == 0) continue;
    out_format("%slast_activity_timestamp_seconds", kPrefix);
    root_labels(input, input.roots[i]);
    out_format(" %lld\n", ll(input.roots[i].newest));
  }
  // One per root when the series are labelled by root, so that files of
  // several roots in one collector's folder never write the same series.
  family("info", "The program that wrote these figures.");
  for (int i = 0; i < (input.by_root ? input.root_count : 1); ++i) {
    out_format("%sinfo{", kPrefix);
    if (input.by_root) {
      out_text("root=");
      label_value(input.roots[i].name, std::strlen(input.roots[i].name));
      out_char(',');
    }
    out_text("version=");
    label_value(input.version, std::strlen(input.version));
    out_text("} 1\n");
  }
}
