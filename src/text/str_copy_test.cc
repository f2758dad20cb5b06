#include "text/str_copy.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StrCopy, BoundsAndTerminates) {
  char dst[128];
  const std::string long_text(200, 'x');
  str_copy(dst, sizeof dst, long_text.c_str());
  EXPECT_EQ(std::string(dst), std::string(127, 'x'));
  str_copy(dst, sizeof dst, nullptr);
  EXPECT_STREQ(dst, "");
  str_copy(dst, sizeof dst, "short");
  EXPECT_STREQ(dst, "short");
  str_copy(nullptr, 4, "ignored");  // must not crash
}

}  // namespace
