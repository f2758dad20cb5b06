#include "report/summary_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

SessionRecord make_record(const char *dir, int64_t last, int64_t total, int64_t active) {
  SessionRecord r{};
  std::strcpy(r.dir, dir);
  std::strcpy(r.id, dir);
  r.last_epoch = last;
  r.total_sec = total;
  r.active_sec = active;
  r.idle_sec = total - active;
  return r;
}

TEST(CmpSessionDesc, NewestFirstThenByDirectoryBytes) {
  SessionRecord records[] = {make_record("b", 5, 0, 0), make_record("a", 0, 0, 0),
                             make_record("c", 9, 0, 0), make_record("B", 5, 0, 0),
                             make_record("a", 5, 0, 0), make_record("\xC3", 5, 0, 0)};
  std::qsort(records, 6, sizeof records[0], cmp_session_desc);
  const char *order[] = {"c", "B", "a", "b", "\xC3", "a"};
  for (int i = 0; i < 6; ++i) EXPECT_STREQ(records[i].dir, order[i]) << i;
  EXPECT_EQ(records[5].last_epoch, 0);
  SessionRecord huge = make_record("h", INT64_MAX, 0, 0);
  SessionRecord tiny = make_record("t", INT64_MIN, 0, 0);
  EXPECT_LT(cmp_session_desc(&huge, &tiny), 0);
  EXPECT_GT(cmp_session_desc(&tiny, &huge), 0);
}

TEST(BucketAdd, GroupsByExactNameUpToSixtyFour) {
  UsageBucket buckets[kMaxBuckets] = {};
  int32_t count = 0;
  bucket_add(buckets, &count, "", 10, 1);
  bucket_add(buckets, &count, "unknown", 5, 2);
  bucket_add(buckets, &count, "Coder", 1, 1);
  bucket_add(buckets, &count, "coder", 1, 1);
  EXPECT_EQ(count, 3);
  EXPECT_STREQ(buckets[0].name, "unknown");
  EXPECT_EQ(buckets[0].sessions, 2);
  EXPECT_EQ(buckets[0].active_sec, 15);
  EXPECT_EQ(buckets[0].turns, 3);
  for (int i = 0; i < 70; ++i) bucket_add(buckets, &count, ("n" + std::to_string(i)).c_str(), 1, 1);
  EXPECT_EQ(count, 64);
  EXPECT_STREQ(buckets[63].name, "n60");
  bucket_add(buckets, &count, "n0", 1, INT32_MAX);
  EXPECT_EQ(buckets[3].turns, INT32_MAX);  // saturates

  UsageBucket pair[2] = {{"b", 1, 7, 0}, {"a", 1, 7, 0}};
  std::qsort(pair, 2, sizeof pair[0], cmp_bucket_desc);
  EXPECT_STREQ(pair[0].name, "a");
  UsageBucket more[2] = {{"a", 1, 1, 0}, {"z", 1, 9, 0}};
  std::qsort(more, 2, sizeof more[0], cmp_bucket_desc);
  EXPECT_STREQ(more[0].name, "z");
}

TEST(PrintSummaryJson, TotalsComeFromSummedSeconds) {
  std::vector<SessionRecord> records(2);
  records[0] = make_record("one", 100, 100, 50);
  records[0].turns = 2;
  records[0].is_active = 1;
  std::strcpy(records[0].profile, "coder");
  std::strcpy(records[0].tool_names[0], "Read");
  records[0].tool_calls[0] = 1;
  std::strcpy(records[0].tool_names[1], "Bash");
  records[0].tool_calls[1] = 2;
  records[0].tool_count = 2;
  records[1] = make_record("two", 200, 300, 300);
  records[1].turns = 1;
  std::strcpy(records[1].model, "m");
  const std::string reply =
      capture_stdout([&] { print_summary_json(records.data(), 2, "/root \"q\"", 1); });
  const std::string body = reply.substr(107);
  EXPECT_EQ(body.substr(0, body.find(",\"sessions\":[")),
            R"({"ok":true,"plugin":"rudeze_duziruzuderi","version":"1.0.1",)"
            R"("sessions_root":"/root \"q\"","root_found":true,"count":2,"active_now":1,)"
            R"("total_sec":400,"total_fmt":"06m 40s","active_sec":350,"active_fmt":"05m 50s",)"
            R"("idle_sec":50,"idle_fmt":"50s","duty_cycle_pct":87.50,"turns":3,"tool_events":3,)"
            R"("profiles":[{"profile":"unknown","sessions":1,"active_sec":300,"turns":1},)"
            R"({"profile":"coder","sessions":1,"active_sec":50,"turns":2}],)"
            R"("models":[{"model":"m","sessions":1,"active_sec":300,"turns":1},)"
            R"({"model":"unknown","sessions":1,"active_sec":50,"turns":2}])");
  // Sessions newest first, each with its tools ordered.
  EXPECT_LT(body.find("\"dir\":\"two\""), body.find("\"dir\":\"one\""));
  EXPECT_LT(body.find("\"name\":\"Bash\""), body.find("\"name\":\"Read\""));
  EXPECT_EQ(body.substr(body.size() - 6), "}]}]}\n");
}

TEST(PrintSummaryJson, EmptyTableIsACompleteDocument) {
  const std::string reply = capture_stdout([&] { print_summary_json(nullptr, 0, "r", 0); });
  EXPECT_EQ(reply.substr(107),
            R"({"ok":true,"plugin":"rudeze_duziruzuderi","version":"1.0.1","sessions_root":"r",)"
            R"("root_found":false,"count":0,"active_now":0,"total_sec":0,"total_fmt":"0s",)"
            R"("active_sec":0,"active_fmt":"0s","idle_sec":0,"idle_fmt":"0s",)"
            R"("duty_cycle_pct":0.00,"turns":0,"tool_events":0,"profiles":[],"models":[],)"
            R"("sessions":[]})"
            "\n");
}

TEST(SummaryTotals, DutyCycleNeverPassesOneHundred) {
  // 1000000000000006 * 100.0 / 1000000000000006 is 100.00000000000001 in
  // double precision; the summary's figure stays 100.
  std::vector<SessionRecord> records(1);
  records[0] = make_record("s", 1, 1000000000000006, 1000000000000006);
  const std::string reply = capture_stdout([&] { print_summary_json(records.data(), 1, "r", 1); });
  EXPECT_NE(reply.find("\"duty_cycle_pct\":100.00,\"turns\""), std::string::npos);
  SummaryTotals totals{};
  add_up_sessions(records.data(), 1, &totals);
  EXPECT_EQ(totals.duty_cycle_pct, 100.0);
}

TEST(PrintSummaryJson, SumsSaturate) {
  std::vector<SessionRecord> records(3);
  for (int i = 0; i < 3; ++i) {
    records[i] = make_record(("s" + std::to_string(i)).c_str(), 1, INT64_MAX / 2, 1);
    records[i].turns = INT32_MAX;
  }
  const std::string reply = capture_stdout([&] { print_summary_json(records.data(), 3, "r", 1); });
  EXPECT_NE(reply.find("\"total_sec\":9223372036854775807,"), std::string::npos);
  EXPECT_NE(reply.find("\"turns\":2147483647,\"tool_events\""), std::string::npos);
}

}  // namespace
