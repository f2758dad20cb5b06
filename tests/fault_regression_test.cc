// Regressions found by the fault tests and the fuzzers, kept as black-box cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixed_replies.h"
#include "program_runner.h"
#include "test_support.h"

namespace {

std::string encoded(const std::string &sid) {
  std::string text;
  for (char c : sid) text += c == ' ' ? std::string("%20") : std::string(1, c);
  return text;
}

// Windows drops trailing dots and spaces from a path's names, so a sid of
// "..." or ".. " loaded the parent of the sessions root as a session (seen under
// Wine). Such sids are never plain names now, on every platform.
TEST(FaultRegression, SidOfDotsAndSpacesStaysInTheRoot) {
  TempDir base;
  write_file(base.at("meta.json"), R"({"id":"PARENT-MARKER"})");
  write_file(base.at("root/meta.json"), R"({"id":"ROOT-MARKER"})");
  if (!running_windows_build()) {
    // Natively such names can be folders; they are still not loaded by sid.
    write_file(base.at("root/.../meta.json"), R"({"id":"DOTS-MARKER"})");
    write_file(base.at("root/. /meta.json"), R"({"id":"DOTS-MARKER"})");
  }
  const std::string root = base.at("root");
  for (const std::string &sid : {"...", "....", ".. ", ". ", " ", "..  ", ". . ."}) {
    EXPECT_EQ(run_json_request(
                  {"QV_SESSIONS_DIR=" + root, "QUERY_STRING=action=session&sid=" + encoded(sid)}),
              not_found_reply(sid, root))
        << "sid \"" << sid << "\"";
  }
}

// Names with dots and spaces among other bytes stay plain names and load by
// sid, a leading dot (which the scan passes over) included. None ends in a dot
// or a space, so each names the same folder on Windows.
TEST(FaultRegression, DotsAndSpacesAmongOtherBytesArePlainNames) {
  TempDir root;
  const std::vector<std::string> names = {"a.b",  "a b", ". a",     "..x",
                                          "x..y", " .s", ".hidden", "s"};
  for (const std::string &name : names) {
    write_file(root.at(name + "/meta.json"), R"({"model":"m-)" + name + "\"}");
  }
  for (const std::string &name : names) {
    const std::string reply = run_json_request(
        {"QV_SESSIONS_DIR=" + root.path(), "QUERY_STRING=action=session&sid=" + encoded(name)});
    EXPECT_NE(reply.find("\"dir\":" + json_quoted(name) + ",\"model\":\"m-" + name + "\""),
              std::string::npos)
        << "sid \"" << name << "\"\n"
        << reply;
  }
}

}  // namespace
