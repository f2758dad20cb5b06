// Shared by the history program's black-box suites.
#include "history_support.h"

#include <gtest/gtest.h>

#include "test_support.h"

ProgramResult history(const std::vector<std::string> &args, const std::vector<std::string> &env) {
  return run_program_of("QV_TEST_HISTORY_PROGRAM", env, args, 120);
}

// The report of a run that must succeed; natively it writes nothing else.
std::string report(const std::vector<std::string> &args, const std::vector<std::string> &env) {
  const ProgramResult result = history(args, env);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.status, 0) << result.err;
  if (!running_windows_build()) EXPECT_EQ(result.err, "");
  return result.out;
}

// Records of RFC 4180 text: fields split at commas, quoted fields with
// doubled quotes, records ended by CR LF.
std::vector<std::vector<std::string>> csv_records(const std::string &text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.push_back(field);
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      record.push_back(field);
      records.push_back(record);
      record.clear();
      field.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(field.empty() && record.empty()) << "CSV does not end with CR LF";
  return records;
}

// Figures of a CSV report by column name, one map per row.
std::vector<std::map<std::string, std::string>> csv_rows(const std::string &text) {
  const auto records = csv_records(text);
  std::vector<std::map<std::string, std::string>> rows;
  for (size_t r = 1; r < records.size(); ++r) {
    std::map<std::string, std::string> row;
    for (size_t f = 0; f < records[0].size() && f < records[r].size(); ++f) {
      row[records[0][f]] = records[r][f];
    }
    rows.push_back(row);
  }
  return rows;
}

long long number_after(const std::string &text, const std::string &key, size_t from) {
  const size_t at = text.find("\"" + key + "\":", from);
  if (at == std::string::npos) return -1;
  return std::stoll(text.substr(at + key.size() + 3));
}

std::string line(long long t, const std::string &event, const std::string &extra) {
  return event_line(ts_at(t - kT), event, extra);
}

// Sessions chosen to cross every boundary: midnight, a month's end, a week's
// end, a daylight-saving change in New York, a meta.json start before the
// first line, a log back in time, no time at all, and a run left open.
void write_edge_sessions(const std::string &root) {
  const long long dec1 = 1796083200;  // 2026-12-01 00:00:00 UTC, a Tuesday
  const long long mar8 = 1772946000;  // 2026-03-08 05:00:00 UTC, New York's midnight
  write_file(root + "/midnight/events.jsonl",
             line(dec1 - 3000, "session_start", R"(,"profile":"coder","model":"m1")") +
                 line(dec1 - 2400, "agent_run_start") +
                 line(dec1 - 60, "tool_use", R"(,"tool":"Bash")") +
                 line(dec1 + 60, "tool_use", R"(,"tool":"Read")") + line(dec1 + 900, "agent_idle") +
                 line(dec1 + 1000, "user_message") + line(dec1 + 1010, "agent_run_start") +
                 line(dec1 + 1500, "agent_complete"));
  write_file(root + "/midnight/stats.json", R"({"input_tokens":100,"output_tokens":10})");
  write_file(root + "/midnight/meta.json", R"({"cwd":"/src/a, \"quoted\""})");
  write_file(root + "/dst-day/events.jsonl", line(mar8 - 7200, "agent_run_start") +
                                                 line(mar8 + 23 * 3600 + 60, "agent_idle") +
                                                 line(mar8 + 24 * 3600, "user_message"));
  write_file(root + "/meta-start/meta.json",
             "{\"start_epoch\":" + std::to_string(dec1 - 5 * kDay) + ",\"profile\":\"ops\"}");
  write_file(root + "/meta-start/events.jsonl",
             line(dec1, "agent_run_start") + line(dec1 + 3 * kDay, "agent_idle"));
  write_file(root + "/backwards/events.jsonl",
             line(dec1 + 10 * kDay, "agent_run_start") + line(dec1 + 12 * kDay, "agent_idle") +
                 line(dec1 + 11 * kDay, "tool_use", R"(,"tool":"X")"));
  write_file(root + "/timeless/events.jsonl", R"({"event":"agent_run_start"})"
                                              "\n");
  write_file(root + "/timeless/stats.json", R"({"input_tokens":5})");
  write_file(root + "/open-run/events.jsonl",
             line(dec1 - 20 * kDay, "agent_run_start") +
                 line(dec1 - 18 * kDay, "tool_use", R"(,"tool":"Y")"));
  write_file(root + "/open-run/thinking", "");
  write_file(root + "/named \xC3\xA9t\xC3\xA9/events.jsonl",
             line(dec1 + 3600, "agent_run_start") + line(dec1 + 7200, "agent_idle"));
}

const std::vector<std::vector<std::string>> kZones = {
    {"--tz", "utc"}, {"--tz", "+05:30"}, {"--tz", "-08:00"}, {"--tz", "local"}};
const std::vector<std::string> kNewYork = {"TZ=America/New_York"};
