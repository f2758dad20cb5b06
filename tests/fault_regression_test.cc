// Regressions found by the fault tests and the fuzzers, kept as black-box cases.
#include <gtest/gtest.h>

#include <string>

#include "json_check.h"
#include "program_runner.h"
#include "test_support.h"

namespace {

const std::string kJsonHeader =
    "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n";

// Windows drops trailing dots and spaces from a path's names, so a sid of
// "..." or ".. " loaded the parent of the sessions root as a session (seen under
// Wine). Such sids are never plain names now, on every platform.
TEST(FaultRegression, SidOfDotsAndSpacesStaysInTheRoot) {
  TempDir base;
  write_file(base.at("meta.json"), R"({"id":"PARENT-MARKER"})");
  write_file(base.at("root/meta.json"), R"({"id":"ROOT-MARKER"})");
  write_file(base.at("root/s/meta.json"), R"({"model":"m"})");
  if (!running_windows_build()) {
    // Natively such names can be folders; they are still not loaded by sid.
    write_file(base.at("root/.../meta.json"), R"({"id":"DOTS-MARKER"})");
    write_file(base.at("root/. /meta.json"), R"({"id":"DOTS-MARKER"})");
  }
  const std::string root = base.at("root");
  for (const std::string &sid : {"...", "....", ".. ", ". ", " ", "..  ", ". . ."}) {
    std::string encoded;
    for (char c : sid) encoded += c == ' ' ? std::string("%20") : std::string(1, c);
    const ProgramResult result = run_program(
        {"QV_SESSIONS_DIR=" + root, "QUERY_STRING=action=session&sid=" + encoded}, {}, 60);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(json_reply_error(result.out), "");
    EXPECT_EQ(result.out, kJsonHeader + "{\"ok\":false,\"error\":\"session not found\",\"sid\":\"" +
                              sid + "\",\"sessions_root\":\"" + root + "\"}\n")
        << "sid \"" << sid << "\"";
  }
  // Names with dots and spaces among other bytes stay plain names.
  const ProgramResult plain =
      run_program({"QV_SESSIONS_DIR=" + root, "QUERY_STRING=action=session&sid=s"}, {}, 60);
  EXPECT_NE(plain.out.find(R"("model":"m")"), std::string::npos) << plain.out;
}

}  // namespace
