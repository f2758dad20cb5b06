// Runs the built program as the host does and compares its replies byte for
// byte. The same cases run against the Windows build through Wine.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "fixed_replies.h"
#include "program_runner.h"
#include "test_support.h"

namespace {

bool is_page(const std::string &reply) {
  return reply.rfind("Content-Type: text/html; charset=utf-8\r\n", 0) == 0 &&
         reply.find("<!DOCTYPE html>") != std::string::npos;
}

// The worked example of a session: two runs of 90 s, tools A, A, B.
void write_worked_example(const std::string &dir) {
  write_file(
      dir + "/events.jsonl",
      event_line(ts_at(0), "session_start", R"(,"model":"m1","provider":"p1","profile":"coder")") +
          event_line(ts_at(10), "agent_run_start") +
          event_line(ts_at(40), "tool_use", R"(,"tool":"A")") +
          event_line(ts_at(70), "tool_use", R"(,"tool":"A")") +
          event_line(ts_at(80), "tool_use", R"(,"tool":"B")") +
          event_line(ts_at(100), "agent_idle") + event_line(ts_at(200), "user_message") +
          event_line(ts_at(210), "agent_run_start") + event_line(ts_at(300), "agent_complete"));
}

std::string worked_example_object(const std::string &dir) {
  return "{\"id\":" + json_quoted(dir) + ",\"dir\":" + json_quoted(dir) +
         R"(,"model":"m1","provider":"p1","profile":"coder","branch":"","cwd":"",)"
         R"("start_time":"2024-01-01 00:00:00","first_epoch":1704067200,"last_epoch":1704067500,)"
         R"("is_active":false,"total_sec":300,"total_fmt":"05m 00s","active_sec":180,)"
         R"("active_fmt":"03m 00s","idle_sec":120,"idle_fmt":"02m 00s","duty_cycle_pct":60.00,)"
         R"("turns":2,"avg_turn_sec":90.0,"tokens":{"in":0,"out":0,"cache_read":0,"cache_write":0},)"
         R"("tools":[{"name":"A","calls":2},{"name":"B","calls":1}]})";
}

std::string session_reply(const std::string &root, const std::string &object, int64_t total,
                          const std::string &total_fmt, int64_t active,
                          const std::string &active_fmt, int64_t idle, const std::string &idle_fmt,
                          const std::string &duty, int turns) {
  return kJsonHeader +
         R"({"ok":true,"plugin":"rudeze_duziruzuderi","version":"1.0.1","sessions_root":)" +
         json_quoted(root) + ",\"session\":" + object +
         ",\"summary\":{\"total_sec\":" + std::to_string(total) + ",\"total_fmt\":\"" + total_fmt +
         "\",\"active_sec\":" + std::to_string(active) + ",\"active_fmt\":\"" + active_fmt +
         "\",\"idle_sec\":" + std::to_string(idle) + ",\"idle_fmt\":\"" + idle_fmt +
         "\",\"duty_cycle_pct\":" + duty + ",\"turns\":" + std::to_string(turns) + "}}\n";
}

TEST(Blackbox, DescriptionNeedsNoPassword) {
  EXPECT_EQ(run_request({}, {"--meta"}), kDescription);
  EXPECT_EQ(run_request({"QV_PLUGIN_META="}), kDescription);
  EXPECT_EQ(run_request({"QV_PLUGIN_META=1", "BOT_PASSWORD=pw", "QUERY_STRING=action=summary"}),
            kDescription);
  EXPECT_EQ(run_request({"BOT_PASSWORD=pw"}, {"--meta"}), kDescription);
  // Only the whole first argument counts.
  EXPECT_TRUE(is_page(run_request({}, {"--meta=1"})));
  EXPECT_TRUE(is_page(run_request({}, {"x", "--meta"})));
}

// Apache and Python's CGI server pass a query without "=" as arguments too:
// arguments that are exactly the query's words are set aside, and the query
// answers. Other arguments keep their meaning.
TEST(Blackbox, ArgumentsThatRestateTheQuery) {
  struct Case {
    std::vector<std::string> env;
    std::vector<std::string> args;
  };
  const std::string cgi = "GATEWAY_INTERFACE=CGI/1.1";
  const std::vector<Case> from_query = {
      {{cgi, "QUERY_STRING=--meta"}, {"--meta"}},
      {{cgi, "QUERY_STRING=--meta+x"}, {"--meta", "x"}},
      {{cgi, "QUERY_STRING=%2D-meta+a%26b++c%2Bd"}, {"--meta", "a&b", "", "c+d"}},
      {{cgi, "QUERY_STRING=--meta+caf%C3%A9"}, {"--meta", "caf\xC3\xA9"}},
  };
  for (const Case &c : from_query) {
    EXPECT_TRUE(is_page(run_request(c.env, c.args, c.env[1]))) << c.env[1];
    std::vector<std::string> guarded = c.env;
    guarded.emplace_back("BOT_PASSWORD=pw");
    EXPECT_EQ(run_request(guarded, c.args, c.env[1]), kRefusal) << c.env[1];
  }
  const std::vector<Case> description = {
      {{"QUERY_STRING=--meta"}, {"--meta"}},
      {{cgi}, {"--meta"}},
      {{cgi, "QUERY_STRING="}, {"--meta"}},
      {{cgi, "QUERY_STRING=action=summary", "BOT_PASSWORD=pw"}, {"--meta"}},
      {{cgi, "QUERY_STRING=--meta+x"}, {"--meta"}},
      {{cgi, "QUERY_STRING=--meta"}, {"--meta", "x"}},
      {{cgi, "QUERY_STRING=--meta%2Bx"}, {"--meta", "x"}},
      {{cgi, "QUERY_STRING=--meta+a=b"}, {"--meta", "a=b"}},
  };
  for (const Case &c : description) {
    const std::string label = c.env.back() + " " + std::to_string(c.args.size());
    EXPECT_EQ(run_request(c.env, c.args, label), kDescription) << label;
  }
}

TEST(Blackbox, AccessCheck) {
  const std::string refused = run_request({"BOT_PASSWORD=pw", "QUERY_STRING=format="});
  EXPECT_EQ(refused, kRefusal);
  EXPECT_EQ(refused.size(), 120U);
  EXPECT_EQ(run_request({"BOT_PASSWORD=pw"}), kRefusal);  // the page is guarded too
  EXPECT_EQ(run_request({"BOT_PASSWORD=pw", "HTTP_X_BOT_PASSWORD=nope", "QUERY_STRING=format="}),
            kRefusal);
  EXPECT_EQ(
      run_request({"BOT_PASSWORD=pw", "HTTP_AUTHORIZATION=Bearer\tpw", "QUERY_STRING=format="}),
      kRefusal);
  const std::string root_env = "QV_SESSIONS_DIR=/nonexistent-qv-root";
  const std::vector<std::vector<std::string>> accepted = {
      {"HTTP_X_BOT_PASSWORD=pw", "QUERY_STRING=action=session"},
      {"HTTP_X_BOT_PASSWORD=x", "HTTP_AUTHORIZATION=  bearer   pw", "QUERY_STRING=action=session"},
      {"HTTP_AUTHORIZATION=Basic x", "QUERY_STRING=action=session&pwd=pw"},
  };
  for (auto env : accepted) {
    env.push_back("BOT_PASSWORD=pw");
    env.push_back(root_env);
    EXPECT_EQ(run_request(env), missing_sid_reply("/nonexistent-qv-root"));
  }
  EXPECT_EQ(run_request({"BOT_PASSWORD=a b+c", "QUERY_STRING=action=session&pwd=a+b%2Bc",
                         "QV_SESSIONS_DIR=/r"}),
            missing_sid_reply("/r"));
}

TEST(Blackbox, PageChoice) {
  EXPECT_TRUE(is_page(run_request({})));
  EXPECT_TRUE(is_page(run_request({"QUERY_STRING="})));
  EXPECT_TRUE(is_page(run_request({"QUERY_STRING=sid=abc&fmt=1"})));
  const std::string summary = run_request({"QUERY_STRING=format=", "QV_SESSIONS_DIR=/none"});
  EXPECT_EQ(summary.rfind(kJsonHeader + "{\"ok\":true,", 0), 0U);
  const std::string capital =
      run_request({"QUERY_STRING=action=SESSION&sid=x", "QV_SESSIONS_DIR=/n"});
  EXPECT_NE(capital.find("\"count\":0"), std::string::npos);
}

TEST(Blackbox, SessionErrorReplies) {
  TempDir root;
  const std::string dir_env = "QV_SESSIONS_DIR=" + root.path();
  EXPECT_EQ(run_request({dir_env, "QUERY_STRING=action=session"}), missing_sid_reply(root.path()));
  EXPECT_EQ(run_request({dir_env, "QUERY_STRING=action=session&sid=&id="}),
            missing_sid_reply(root.path()));
  EXPECT_EQ(run_request({dir_env, "QUERY_STRING=action=session&sid=nope"}),
            not_found_reply("nope", root.path()));
  EXPECT_EQ(run_request({dir_env, "QUERY_STRING=action=session&id=a%22b%5Cc%0Ad"}),
            kJsonHeader + R"({"ok":false,"error":"session not found","sid":"a\"b\\c\nd",)" +
                "\"sessions_root\":" + json_quoted(root.path()) + "}\n");
  EXPECT_EQ(run_request({"QV_SESSIONS_DIR=/no/such/root", "QUERY_STRING=action=session&sid=x"}),
            not_found_reply("x", "/no/such/root"));
}

TEST(Blackbox, SessionReplyOfTheWorkedExample) {
  TempDir root;
  write_worked_example(root.at("example"));
  const std::string expected = session_reply(root.path(), worked_example_object("example"), 300,
                                             "05m 00s", 180, "03m 00s", 120, "02m 00s", "60.00", 2);
  const std::string dir_env = "QV_SESSIONS_DIR=" + root.path();
  EXPECT_EQ(run_request({dir_env, "QUERY_STRING=action=session&sid=example"}), expected);
  EXPECT_EQ(run_request({dir_env, "QUERY_STRING=action=session&id=example"}), expected);
  EXPECT_EQ(run_request({dir_env, "QUERY_STRING=sid=example&action=session&id=other"}), expected);
}

TEST(Blackbox, SessionFoundByIdAndBeyondTheScan) {
  TempDir root;
  write_worked_example(root.at("dir-name"));
  write_file(root.at("dir-name/meta.json"), R"({"id":"meta-id"})");
  write_worked_example(root.at(".dotted"));
  const std::string dir_env = "QV_SESSIONS_DIR=" + root.path();
  std::string object = worked_example_object("dir-name");
  object.replace(object.find("\"id\":\"dir-name\""), 15, "\"id\":\"meta-id\"");
  const std::string by_id = run_request({dir_env, "QUERY_STRING=action=session&sid=meta-id"});
  EXPECT_EQ(by_id, session_reply(root.path(), object, 300, "05m 00s", 180, "03m 00s", 120,
                                 "02m 00s", "60.00", 2));
  // A dot-directory is passed over by the scan but still loads directly.
  EXPECT_EQ(run_request({dir_env, "QUERY_STRING=action=session&sid=.dotted"}),
            session_reply(root.path(), worked_example_object(".dotted"), 300, "05m 00s", 180,
                          "03m 00s", 120, "02m 00s", "60.00", 2));
}

TEST(Blackbox, SidNeverLeavesTheRoot) {
  TempDir base;
  write_worked_example(base.at("outside"));
  make_dirs(base.at("root/inner"));
  const std::string root = base.at("root");
  const std::string dir_env = "QV_SESSIONS_DIR=" + root;
  for (const std::string &sid : std::vector<std::string>{
           "../outside", "..", ".", "inner/../../outside", "..\\outside", base.at("outside")}) {
    std::string encoded;
    for (char c : sid) encoded += (c == '\\') ? std::string("%5C") : std::string(1, c);
    EXPECT_EQ(run_request({dir_env, "QUERY_STRING=action=session&sid=" + encoded}),
              not_found_reply(sid, root))
        << sid;
  }
}

TEST(Blackbox, SpecialFilesDoNotHang) {
  if (running_windows_build()) GTEST_SKIP() << "FIFOs are a POSIX matter";
  TempDir root;
  write_worked_example(root.at("s"));
  make_dirs(root.at("f"));
  ASSERT_EQ(mkfifo(root.at("f/events.jsonl").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(root.at("f/meta.json").c_str(), 0600), 0);
  const ProgramResult result =
      run_program({"QV_SESSIONS_DIR=" + root.path(), "QUERY_STRING=action=session&sid=f"}, {}, 20);
  EXPECT_FALSE(result.timed_out);
  EXPECT_NE(result.out.find("\"dir\":\"f\""), std::string::npos);
}

TEST(Blackbox, SessionsRootCandidates) {
  if (running_windows_build()) GTEST_SKIP() << "Wine sets its own profile variables";
  TempDir home;
  EXPECT_EQ(run_request({"QUERY_STRING=action=session"}), missing_sid_reply("quorvane/sessions"));
  EXPECT_EQ(run_request({"QUERY_STRING=action=session", "XDG_DATA_HOME=" + home.path()}),
            missing_sid_reply(home.path() + "/quorvane/sessions"));
  EXPECT_EQ(run_request({"QUERY_STRING=action=session", "HOME=" + home.path()}),
            missing_sid_reply("quorvane/sessions"));
  make_dirs(home.at(".quorvane/sessions"));
  EXPECT_EQ(run_request({"QUERY_STRING=action=session", "HOME=" + home.path(),
                         "XDG_DATA_HOME=" + home.at("data")}),
            missing_sid_reply(home.path() + "/.quorvane/sessions"));
  make_dirs(home.at("data/quorvane/sessions"));
  EXPECT_EQ(run_request({"QUERY_STRING=action=session", "HOME=" + home.path(),
                         "XDG_DATA_HOME=" + home.at("data")}),
            missing_sid_reply(home.at("data") + "/quorvane/sessions"));
  // The override wins even when it is no directory.
  EXPECT_EQ(run_request({"QUERY_STRING=action=session", "HOME=" + home.path(),
                         "QV_SESSIONS_DIR=/not-there"}),
            missing_sid_reply("/not-there"));
}

}  // namespace
