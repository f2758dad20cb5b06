// Hostile requests: every byte value in every parameter, overlong values,
// path-like session ids and odd credentials. Every reply must be complete and
// well formed, and nothing outside the sessions root may ever be read.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixed_replies.h"
#include "program_runner.h"
#include "test_support.h"

namespace {

const std::string kPageEnd = "</script></body></html>\n";
const std::string kMarker = "OUTSIDE-MARKER-9c";

bool starts_with(const std::string &text, const std::string &prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A sessions root with one session, and beside it a session that no request
// may reach.
class HostileRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(base_.at("outside/meta.json"),
               "{\"id\":\"" + kMarker + "\",\"model\":\"" + kMarker + "\"}");
    write_file(base_.at("outside/events.jsonl"), event_line(ts_at(0), "session_start"));
    write_file(base_.at("root/a/events.jsonl"),
               event_line(ts_at(0), "agent_run_start") + event_line(ts_at(60), "agent_idle"));
    make_dirs(base_.at("root/inner"));
  }

  std::string root() const { return base_.at("root"); }

  // Runs one request and checks what every reply must hold; answers the reply.
  std::string request(const std::vector<std::string> &extra_env, const std::string &label) {
    std::vector<std::string> env = {"QV_SESSIONS_DIR=" + root()};
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    const std::string out = run_request(env, {}, label);
    if (starts_with(out, kHtmlHeader)) {
      EXPECT_GE(out.size(), kPageEnd.size()) << label;
      EXPECT_EQ(out.substr(out.size() - std::min(out.size(), kPageEnd.size())), kPageEnd) << label;
      // A sid in the page's script must not be able to close an element.
      EXPECT_EQ(count_of(out, "</"), page_closings()) << label;
    } else if (starts_with(out, "Status: ")) {
      EXPECT_EQ(out, kRefusal) << label;
    } else {
      EXPECT_TRUE(starts_with(out, kJsonHeader)) << label << "\n" << out.substr(0, 200);
    }
    EXPECT_EQ(out.find(kMarker), std::string::npos) << label;
    return out;
  }

  std::string query(const std::string &text) { return request({"QUERY_STRING=" + text}, text); }

  std::string not_found(const std::string &sid) const { return not_found_reply(sid, root()); }

  // Closing tags in the page without a sid; taken once.
  size_t page_closings() {
    const std::lock_guard<std::mutex> lock(page_mutex_);
    if (page_closings_ == 0) page_closings_ = count_of(run_program({}, {}, 60).out, "</");
    return page_closings_;
  }

 private:
  TempDir base_;
  std::mutex page_mutex_;
  size_t page_closings_ = 0;
};

// Starting a process is the slow part (under Wine above all), so the cases of
// a test run on several threads at once.
void for_each_parallel(size_t count, const std::function<void(size_t)> &body) {
  constexpr size_t kWorkers = 4;
  std::vector<std::thread> workers;
  for (size_t w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (size_t i = w; i < count; i += kWorkers) body(i);
    });
  }
  for (auto &worker : workers) worker.join();
}

std::string percent(int byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%%%02X", static_cast<unsigned>(byte));
  return text;
}

TEST_F(HostileRequests, EveryByteInEveryParameter) {
  std::vector<int> bytes;
  if (running_windows_build()) {
    bytes = {0x00, 0x01, 0x22, 0x25, 0x2F, 0x3A, 0x5C, 0x7F, 0x80, 0xFF};
  } else {
    for (int b = 0; b < 256; ++b) bytes.push_back(b);
  }
  // Each request carries a group of byte values, escaped and as they are.
  constexpr size_t kGroup = 4;
  auto try_group = [this, &bytes](size_t first) {
    std::string escaped;
    std::string mixed;
    for (size_t i = first; i < std::min(first + kGroup, bytes.size()); ++i) {
      const std::string e = percent(bytes[i]);
      escaped += e;
      mixed += e;
      if (bytes[i] != 0) mixed += static_cast<char>(bytes[i]);
    }
    // The session action with the bytes in every parameter it reads.
    query("action=session&sid=a" + mixed + "b&id=" + mixed + "&format=" + mixed + "&pwd=" + mixed);
    query("action=session&id=" + escaped);
    // The bytes as the action.
    query("action=" + mixed + "&sid=" + escaped + "&format=" + mixed);
    // The page, with the bytes inside its script.
    query("sid=%3C%2F" + mixed + "%3C&id=" + escaped);
  };
  page_closings();
  for_each_parallel((bytes.size() + kGroup - 1) / kGroup,
                    [&](size_t group) { try_group(group * kGroup); });
  // A NUL escape ends the value there.
  EXPECT_EQ(query("action=session&sid=a%00..%2F..%2Foutside"), query("action=session&sid=a"));
}

TEST_F(HostileRequests, OverlongParameters) {
  const size_t size = running_windows_build() ? 20000 : 120000;
  const std::string longest(size, 'a');
  const std::string escapes = [&] {
    std::string text;
    while (text.size() + 3 <= size) text += "%2F";
    return text;
  }();
  std::vector<std::string> queries = {"action=session&sid=" + std::string(size / 4, '&') + "sid=a",
                                      std::string(size, '&'), std::string(size, '=')};
  for (const char *name : {"action", "sid", "id", "format", "pwd"}) {
    queries.push_back(std::string(name) + "=" + longest);
    queries.push_back("action=session&" + std::string(name) + "=" + escapes);
  }
  if (running_windows_build()) queries.resize(4);
  page_closings();
  for_each_parallel(queries.size(), [&](size_t i) { query(queries[i]); });
  // The sid is cut to its first 127 bytes before it is looked up.
  EXPECT_EQ(query("action=session&sid=" + longest), not_found(std::string(127, 'a')));
}

TEST_F(HostileRequests, PathLikeSessionIds) {
  std::string base = root().substr(0, root().rfind('/'));
  std::vector<std::string> sids = {"../outside",
                                   "..%2Foutside",
                                   "%2E%2E%2Foutside",
                                   "..%5Coutside",
                                   "..\\outside",
                                   "inner/../../outside",
                                   "inner%2F..%2F..%2Foutside",
                                   "./../outside",
                                   "..",
                                   ".",
                                   "...",
                                   "..%20",
                                   "...%2F..%2Foutside",
                                   "..%2F",
                                   "%2F..%2Foutside",
                                   base + "/outside",
                                   base + "%2Foutside",
                                   "C:\\",
                                   "C:",
                                   "C:outside",
                                   "C:..\\outside",
                                   "c:%5C..%5Coutside",
                                   "Z:" + base + "/outside",
                                   "\\\\?\\" + base + "\\outside",
                                   "\\\\.\\" + base + "\\outside",
                                   "%5C%5C%3F%5CZ:" + base + "%5Coutside",
                                   "outside",
                                   "outside%00",
                                   "..%00",
                                   "../outside%00x",
                                   "inner%2F..",
                                   "a%2F.",
                                   "a/"};
  if (running_windows_build()) {
    // The same paths with the separators and the drive that Windows uses.
    std::string windows_base = "Z:" + base;
    for (char &c : windows_base) {
      if (c == '/') c = '\\';
    }
    sids.push_back(windows_base + "\\outside");
    sids.push_back("..::$INDEX_ALLOCATION\\outside");
    sids.push_back("..%20%20\\outside");
    sids.push_back(".. ");
    sids.push_back("...\\outside");
    sids.push_back("CON");
    sids.push_back("NUL");
    sids.push_back("COM1");
    sids.push_back("CONIN$");
  }
  page_closings();
  for_each_parallel(sids.size(), [&](size_t i) {
    const std::string reply = query("action=session&sid=" + sids[i]);
    EXPECT_EQ(reply.find("{\"ok\":true,"), std::string::npos) << sids[i] << "\n" << reply;
    if (running_windows_build()) return;
    query("action=session&id=" + sids[i]);
    query("format=&sid=" + sids[i]);
  });
  EXPECT_EQ(query("action=session&sid=../outside"), not_found("../outside"));
  EXPECT_EQ(query("action=session&sid=..%5Coutside"), not_found("..\\outside"));
}

TEST_F(HostileRequests, PasswordsAndAuthorization) {
  const std::string password = "p+q%2B r";
  const std::string pw_env = "BOT_PASSWORD=" + password;
  auto accepted = [&](const std::vector<std::string> &env, const std::string &label) {
    std::vector<std::string> all = env;
    all.push_back(pw_env);
    return starts_with(request(all, label), kJsonHeader);
  };
  const std::string summary = "QUERY_STRING=action=summary";
  const std::string spaces(running_windows_build() ? 2000 : 50000, ' ');
  struct Case {
    std::vector<std::string> env;
    bool accept;
  };
  std::vector<Case> cases = {
      {{"QUERY_STRING=format=&pwd=p%2Bq%252B+r"}, true},
      {{"QUERY_STRING=format=&pwd=p+q%2B+r"}, false},  // "+" decodes to a space
      {{"QUERY_STRING=format=&pwd=" + password}, false},
      {{"QUERY_STRING=format=&pwd=" + std::string(10000, 'p')}, false},
      {{summary, "HTTP_X_BOT_PASSWORD=" + password}, true},
      {{summary, "HTTP_X_BOT_PASSWORD=" + password + "\t"}, false},
      {{summary, "HTTP_X_BOT_PASSWORD=" + std::string(100000, 'p')}, false},
      {{summary, "HTTP_AUTHORIZATION=" + spaces + "bEaReR" + spaces + password}, true},
      {{summary, "HTTP_AUTHORIZATION=" + password}, true},
  };
  for (const std::string &value :
       {"Basic " + password, "\tBearer " + password, "Bearer\t" + password,
        "Bearer " + password + " ", "Bearer" + password, "Bearer  Bearer " + password,
        "Digest " + spaces + password, std::string("Bearer ") + spaces, std::string("Bearer"),
        std::string(""), std::string("\t\t\t")}) {
    cases.push_back({{summary, "HTTP_AUTHORIZATION=" + value}, false});
  }
  if (running_windows_build()) cases.resize(6);
  for_each_parallel(cases.size(), [&](size_t i) {
    EXPECT_EQ(accepted(cases[i].env, "case " + std::to_string(i)), cases[i].accept) << "case " << i;
  });
  // Without a configured password every credential is ignored.
  EXPECT_TRUE(starts_with(
      request({summary, "HTTP_AUTHORIZATION=Basic \t x", "BOT_PASSWORD="}, "no password"),
      kJsonHeader));
  if (!running_windows_build()) {
    const std::string binary = "\xff\xfe\x80 +%";
    EXPECT_TRUE(starts_with(
        request({summary, "BOT_PASSWORD=" + binary, "HTTP_X_BOT_PASSWORD=" + binary}, "binary"),
        kJsonHeader));
    EXPECT_TRUE(
        starts_with(request({"QUERY_STRING=format=&pwd=%FF%FE%80+%2B%25", "BOT_PASSWORD=" + binary},
                            "binary pwd"),
                    kJsonHeader));
  }
}

}  // namespace
