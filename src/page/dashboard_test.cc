#include "page/dashboard.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

// The text written between the literal's opening and closing apostrophes.
std::string injected(const std::string &sid) {
  const std::string page = capture_stdout([&] { print_dashboard_page(sid.c_str()); });
  const std::string open = "var sel=q.get('id')||'";
  const size_t start = page.find(open);
  EXPECT_NE(start, std::string::npos);
  const size_t from = start + open.size();
  const size_t end = page.find("';var pwd=", from);
  EXPECT_NE(end, std::string::npos);
  return page.substr(from, end - from);
}

TEST(DashboardPage, HeaderAndDocumentFrame) {
  const std::string page = capture_stdout([] { print_dashboard_page(""); });
  EXPECT_EQ(page.rfind("Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
                       "X-Content-Type-Options: nosniff\r\n\r\n<!DOCTYPE html><html lang='en'>",
                       0),
            0U);
  EXPECT_EQ(page.substr(page.size() - 15), "</body></html>\n");
  EXPECT_NE(page.find("<title>Session Analytics</title>"), std::string::npos);
}

TEST(DashboardPage, SidIsEscapedForTheScriptLiteral) {
  EXPECT_EQ(injected(""), "");
  EXPECT_EQ(injected("abc-1"), "abc-1");
  EXPECT_EQ(injected("it's\\x"), "it\\'s\\\\x");
  EXPECT_EQ(injected("a</script>b"), "a\\x3c/script>b");
  EXPECT_EQ(injected("l1\nl2\rl3\x01\x1f"), "l1\\nl2\\rl3\\x01\\x1f");
  EXPECT_EQ(injected("\xE2\x80\xA8|\xE2\x80\xA9|\xE2\x80\xAA|\xC3\xA9"),
            "\\u2028|\\u2029|\xE2\x80\xAA|\xC3\xA9");
  EXPECT_EQ(injected("\xE2\x80"), "\xE2\x80");
}

}  // namespace
