#include "report/session_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"

namespace {

void add_tool(SessionRecord *r, const char *name, int calls) {
  std::strcpy(r->tool_names[r->tool_count], name);
  r->tool_calls[r->tool_count] = calls;
  ++r->tool_count;
}

TEST(SortTools, IsStableByCallsDescending) {
  SessionRecord r{};
  add_tool(&r, "alpha", 2);
  add_tool(&r, "beta", 5);
  add_tool(&r, "gamma", 2);
  add_tool(&r, "delta", 5);
  add_tool(&r, "eps", 9);
  sort_tools(&r);
  const char *order[] = {"eps", "beta", "delta", "alpha", "gamma"};
  const int calls[] = {9, 5, 5, 2, 2};
  for (int i = 0; i < 5; ++i) {
    EXPECT_STREQ(r.tool_names[i], order[i]);
    EXPECT_EQ(r.tool_calls[i], calls[i]);
  }
}

TEST(PrintSessionObj, WritesEveryMemberInOrder) {
  SessionRecord r{};
  std::strcpy(r.id, "id\"1");
  std::strcpy(r.dir, "d1");
  std::strcpy(r.model, "m\x01x");
  std::strcpy(r.cwd, "C:\\work");
  r.first_epoch = 10;
  r.last_epoch = 20;
  r.is_active = 7;
  r.total_sec = 90061;
  r.active_sec = 100;
  r.idle_sec = 89961;
  r.duty_cycle_pct = 50;
  r.turns = 3;
  r.tokens_in = -5;
  r.cache_write = 9;
  add_tool(&r, "Bash", 4);
  add_tool(&r, "Read", 1);
  EXPECT_EQ(capture_stdout([&] { print_session_obj(&r); }),
            R"({"id":"id\"1","dir":"d1","model":"mx","provider":"","profile":"","branch":"",)"
            R"("cwd":"C:\\work","start_time":"","first_epoch":10,"last_epoch":20,"is_active":true,)"
            R"("total_sec":90061,"total_fmt":"1d 01h 01m","active_sec":100,"active_fmt":"01m 40s",)"
            R"("idle_sec":89961,"idle_fmt":"1d 00h 59m","duty_cycle_pct":50.00,"turns":3,)"
            R"("avg_turn_sec":33.3,"tokens":{"in":-5,"out":0,"cache_read":0,"cache_write":9},)"
            R"("tools":[{"name":"Bash","calls":4},{"name":"Read","calls":1}]})");
}

TEST(PrintSessionJson, WrapsTheObjectWithTheSummary) {
  SessionRecord r{};
  std::strcpy(r.id, "s");
  std::strcpy(r.dir, "s");
  const std::string reply = capture_stdout([&] { print_session_json(&r, "C:\\root"); });
  EXPECT_EQ(reply,
            "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
            "X-Content-Type-Options: nosniff\r\n\r\n"
            R"({"ok":true,"plugin":"rudeze_duziruzuderi","version":"1.0.1",)"
            R"("sessions_root":"C:\\root","session":{"id":"s","dir":"s","model":"","provider":"",)"
            R"("profile":"","branch":"","cwd":"","start_time":"","first_epoch":0,"last_epoch":0,)"
            R"("is_active":false,"total_sec":0,"total_fmt":"0s","active_sec":0,"active_fmt":"0s",)"
            R"("idle_sec":0,"idle_fmt":"0s","duty_cycle_pct":0.00,"turns":0,"avg_turn_sec":0.0,)"
            R"("tokens":{"in":0,"out":0,"cache_read":0,"cache_write":0},"tools":[]},)"
            R"("summary":{"total_sec":0,"total_fmt":"0s","active_sec":0,"active_fmt":"0s",)"
            R"("idle_sec":0,"idle_fmt":"0s","duty_cycle_pct":0.00,"turns":0}})"
            "\n");
}

}  // namespace
