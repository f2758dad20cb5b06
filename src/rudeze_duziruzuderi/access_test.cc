#include "rudeze_duziruzuderi/access.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AccessAllowed, WithoutPasswordEverythingPasses) {
  EXPECT_EQ(access_allowed(nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(access_allowed("", "wrong", "wrong", "pwd=wrong"), 1);
}

TEST(AccessAllowed, HeaderBearerAndQuery) {
  const char *pw = "s3cret";
  EXPECT_EQ(access_allowed(pw, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(access_allowed(pw, "s3cret", nullptr, nullptr), 1);
  EXPECT_EQ(access_allowed(pw, "s3cret ", nullptr, nullptr), 0);
  EXPECT_EQ(access_allowed(pw, "S3CRET", nullptr, nullptr), 0);
  EXPECT_EQ(access_allowed(pw, "s3cre", nullptr, nullptr), 0);
  EXPECT_EQ(access_allowed(pw, "", nullptr, nullptr), 0);
  // A wrong header does not stop the other ways.
  EXPECT_EQ(access_allowed(pw, "nope", "Bearer s3cret", nullptr), 1);
  EXPECT_EQ(access_allowed(pw, "nope", nullptr, "a=1&pwd=s3cret"), 1);
  EXPECT_EQ(access_allowed(pw, nullptr, "   bEaReR    s3cret", nullptr), 1);
  EXPECT_EQ(access_allowed(pw, nullptr, "s3cret", nullptr), 1);
  EXPECT_EQ(access_allowed(pw, nullptr, "  s3cret", nullptr), 1);
  EXPECT_EQ(access_allowed(pw, nullptr, "Bearer\ts3cret", nullptr), 0);
  EXPECT_EQ(access_allowed(pw, nullptr, "Basic s3cret", nullptr), 0);
  EXPECT_EQ(access_allowed(pw, nullptr, "Bearer", nullptr), 0);
  EXPECT_EQ(access_allowed(pw, nullptr, "Bearer s3cret ", nullptr), 0);
  EXPECT_EQ(access_allowed("Bearer", nullptr, "Bearer", nullptr), 1);
  EXPECT_EQ(access_allowed(pw, nullptr, nullptr, "pwd=s3cre"), 0);
  EXPECT_EQ(access_allowed(pw, nullptr, nullptr, "xpwd=s3cret"), 0);
}

TEST(AccessAllowed, QueryPasswordIsDecodedAndCut) {
  EXPECT_EQ(access_allowed("a b+c%", nullptr, nullptr, "pwd=a+b%2Bc%25"), 1);
  const std::string long_pw(130, 'p');
  const std::string query = "pwd=" + long_pw;
  EXPECT_EQ(access_allowed(long_pw.c_str(), nullptr, nullptr, query.c_str()), 0);
  EXPECT_EQ(access_allowed(long_pw.c_str(), long_pw.c_str(), nullptr, nullptr), 1);
  const std::string pw127(127, 'p');
  const std::string query127 = "pwd=" + pw127;
  EXPECT_EQ(access_allowed(pw127.c_str(), nullptr, nullptr, query127.c_str()), 1);
}

}  // namespace
