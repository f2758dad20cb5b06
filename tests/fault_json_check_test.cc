// The JSON check that every other fault test relies on must itself reject what
// is not JSON, or a broken reply would pass unseen.
#include <gtest/gtest.h>

#include <string>

#include "json_check.h"

namespace {

TEST(FaultJsonCheck, AcceptsJsonAndRejectsTheRest) {
  for (const std::string &good :
       {std::string(R"({"a":[1,-0.5e+3,true,false,null,"x\"\\\/\b\f\n\r\t\u00e9"],"b":{}})"),
        std::string("[]"), std::string("0"), std::string(" \"\xff\xfe\x80\" "),
        std::string(R"({"ok":true,"n":-12,"d":60.00})")}) {
    EXPECT_EQ(json_error(good), "") << good;
  }
  for (const std::string &bad : {std::string(""),
                                 std::string("{"),
                                 std::string(R"({"a":1,})"),
                                 std::string("[1 2]"),
                                 std::string(R"({"a" 1})"),
                                 std::string(R"({a:1})"),
                                 std::string("01"),
                                 std::string("1."),
                                 std::string("-"),
                                 std::string("1e"),
                                 std::string(".5"),
                                 std::string("tru"),
                                 std::string("\"a\nb\""),
                                 std::string("\"\\x\""),
                                 std::string("\"\\u12g4\""),
                                 std::string("\"abc"),
                                 std::string("{} {}"),
                                 std::string("[\"\x01\"]"),
                                 std::string("{\"a\":1}\x00", 8),
                                 std::string(300, '[') + std::string(300, ']')}) {
    EXPECT_NE(json_error(bad), "") << bad;
  }
  const std::string header = "Content-Type: application/json; charset=utf-8\r\n\r\n";
  EXPECT_EQ(json_reply_error(header + "{\"ok\":true}\n"), "");
  EXPECT_NE(json_reply_error(header + "{\"ok\":true}"), "");
  EXPECT_NE(json_reply_error(header + "{\"ok\":true}\n\n"), "");
  EXPECT_NE(json_reply_error(header + "{\"ok\":true}\r\n"), "");
  EXPECT_NE(json_reply_error(header + "{\"ok\":tr"), "");
  EXPECT_NE(json_reply_error(header), "");
  // Replies of other kinds are not looked at.
  EXPECT_EQ(json_reply_error("Content-Type: text/html; charset=utf-8\r\n\r\n<html>"), "");
}

}  // namespace
