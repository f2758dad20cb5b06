#include "text/json_lookup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

std::string str_of(const std::string &text, const char *key = "id", size_t capacity = 128) {
  char out[512];
  out[0] = 'x';
  if (json_get_str(text.c_str(), key, out, capacity) == 0) {
    EXPECT_STREQ(out, "");
    return "<none>";
  }
  return out;
}

std::string num_of(const std::string &text, const char *key = "n") {
  double value = 0;
  if (json_get_num(text.c_str(), key, &value) == 0) return "<none>";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

TEST(JsonGetStr, LocatesTheFirstOccurrenceOnly) {
  EXPECT_EQ(str_of(R"({"id" : "x"})"), "x");
  EXPECT_EQ(str_of(R"({"id"::"x"})"), "x");
  EXPECT_EQ(str_of(R"({"id" "x"})"), "x");
  EXPECT_EQ(str_of("{\"id\"\t:\t\"x\"}"), "x");
  EXPECT_EQ(str_of("{\"id\"\n:\"x\"}"), "<none>");
  EXPECT_EQ(str_of(R"({"label":"id","id":"x"})"), "<none>");
  EXPECT_EQ(str_of(R"({"model_id":"m","id":"i"})"), "i");
  EXPECT_EQ(str_of(R"({"a":{"id":"n"}})"), "n");
  EXPECT_EQ(str_of(R"({"id":12})"), "<none>");
  EXPECT_EQ(str_of(R"({"id":null})"), "<none>");
  EXPECT_EQ(str_of(R"({"id":""})"), "");
  EXPECT_EQ(str_of(R"({"id":)"), "<none>");
  EXPECT_EQ(str_of(R"({"other":1})"), "<none>");
}

TEST(JsonGetStr, DecodesEscapesAndStopsAtTheEnd) {
  EXPECT_EQ(str_of(R"({"id":"abc)"), "abc");
  EXPECT_EQ(str_of("{\"id\":\"ab\\"), "ab\\");
  EXPECT_EQ(str_of(R"({"id":"a\"b\\c\/d\n\r\t\b\f\u00e9"})"), "a\"b\\c/d\n\r\tbfu00e9");
  EXPECT_EQ(str_of("{\"id\":\"raw\x01\tbyte\"}"), "raw\x01\tbyte");
  EXPECT_EQ(str_of(R"({"id":"0123456789"})", "id", 5), "0123");
  // An escape pair counts as one stored byte.
  EXPECT_EQ(str_of(R"({"id":"\"\"\"\"\"\""})", "id", 5), "\"\"\"\"");
  const std::string long_value(300, 'v');
  EXPECT_EQ(str_of("{\"id\":\"" + long_value + "\"}"), std::string(127, 'v'));
}

TEST(JsonGetStr, BoundedTextEndsAtLengthOrNul) {
  const std::string text = R"({"ts":"2024-01-01 00:00:00","event":"x"})";
  char out[64];
  EXPECT_EQ(json_get_str_n(text.c_str(), 10, "ts", out, sizeof out), 1);
  EXPECT_STREQ(out, "202");  // the value is cut where the text ends
  EXPECT_EQ(json_get_str_n(text.c_str(), 4, "ts", out, sizeof out), 0);
  const std::string with_nul = std::string("{\"a\":1}") + '\0' + R"("ts":"x")";
  EXPECT_EQ(json_get_str_n(with_nul.data(), with_nul.size(), "ts", out, sizeof out), 0);
  const std::string nul_in_value = std::string("{\"ts\":\"ab") + '\0' + "cd\"}";
  EXPECT_EQ(json_get_str_n(nul_in_value.data(), nul_in_value.size(), "ts", out, sizeof out), 1);
  EXPECT_STREQ(out, "ab");
}

TEST(JsonGetNum, FollowsStrtod) {
  EXPECT_EQ(num_of(R"({"n":12})"), "12");
  EXPECT_EQ(num_of(R"({"n": -1.9e1})"), "-19");
  EXPECT_EQ(num_of("{\"n\"\t:\t7}"), "7");
  EXPECT_EQ(num_of(R"({"n":12abc})"), "12");
  EXPECT_EQ(num_of(R"({"n":0x10})"), "16");
  EXPECT_EQ(num_of(R"({"n":-inf})"), "-inf");
  EXPECT_EQ(num_of(R"({"n":"12"})"), "<none>");
  EXPECT_EQ(num_of(R"({"n":null})"), "<none>");
  EXPECT_EQ(num_of(R"({"n":+5})"), "<none>");
  EXPECT_EQ(num_of(R"({"n":.5})"), "<none>");
  EXPECT_EQ(num_of(R"({"n":-})"), "<none>");
  EXPECT_EQ(num_of(R"({"n":-x})"), "<none>");
  const std::string long_key(93, 'k');
  EXPECT_EQ(num_of("{\"" + long_key + "\":1}", long_key.c_str()), "<none>");
  const std::string key92(92, 'k');
  EXPECT_EQ(num_of("{\"" + key92 + "\":1}", key92.c_str()), "1");
}

TEST(JsonNumToInt64, TruncatesAndSaturates) {
  EXPECT_EQ(json_num_to_int64(1234.9), 1234);
  EXPECT_EQ(json_num_to_int64(-1.9), -1);
  EXPECT_EQ(json_num_to_int64(-0.5), 0);
  EXPECT_EQ(json_num_to_int64(1e300), std::numeric_limits<long long>::max());
  EXPECT_EQ(json_num_to_int64(-1e300), std::numeric_limits<long long>::min());
  EXPECT_EQ(json_num_to_int64(std::numeric_limits<double>::infinity()),
            std::numeric_limits<long long>::max());
  EXPECT_EQ(json_num_to_int64(std::nan("")), 0);
  EXPECT_EQ(json_num_to_int64(9223372036854775807.0), std::numeric_limits<long long>::max());
}

}  // namespace
