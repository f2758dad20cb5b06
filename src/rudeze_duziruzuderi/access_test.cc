#include "rudeze_duziruzuderi/access.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

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

// Sets the variables check_access reads for one test and puts the old values
// back afterwards.
class AccessEnvironment {
 public:
  AccessEnvironment(const char *password, const char *x_bot_password, const char *authorization,
                    const char *query) {
    const char *values[] = {password, x_bot_password, authorization, query};
    for (size_t i = 0; i < kNames.size(); ++i) {
      const char *old = std::getenv(kNames[i]);
      saved_.push_back(old == nullptr ? std::nullopt : std::optional<std::string>(old));
      set(kNames[i], values[i]);
    }
  }
  ~AccessEnvironment() {
    for (size_t i = 0; i < kNames.size(); ++i) {
      set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
    }
  }
  AccessEnvironment(const AccessEnvironment &) = delete;
  AccessEnvironment &operator=(const AccessEnvironment &) = delete;

 private:
  static void set(const char *name, const char *value) {
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }
  static constexpr std::array<const char *, 4> kNames = {"BOT_PASSWORD", "HTTP_X_BOT_PASSWORD",
                                                         "HTTP_AUTHORIZATION", "QUERY_STRING"};
  std::vector<std::optional<std::string>> saved_;
};

// Some hosts (busybox httpd among them) turn "Status:" into the status line
// only when it is the reply's first line, so the refusal must begin with it.
TEST(CheckAccess, RefusalBeginsWithItsStatusLine) {
  struct Refused {
    const char *x_bot_password;
    const char *authorization;
    const char *query;
  };
  for (const Refused &request : std::vector<Refused>{{nullptr, nullptr, nullptr},
                                                     {"wrong", nullptr, "action=summary"},
                                                     {nullptr, "Bearer wrong", nullptr},
                                                     {nullptr, nullptr, "pwd=wrong"}}) {
    const AccessEnvironment environment("pw", request.x_bot_password, request.authorization,
                                        request.query);
    int allowed = -1;
    const std::string reply = capture_stdout([&] { allowed = check_access(); });
    EXPECT_EQ(allowed, 0);
    EXPECT_EQ(reply.rfind("Status: 401 Unauthorized\r\n", 0), 0U) << reply;
    EXPECT_EQ(reply.substr(0, reply.find("\r\n\r\n") + 4),
              "Status: 401 Unauthorized\r\nContent-Type: application/json; charset=utf-8\r\n\r\n");
  }
  const AccessEnvironment accepted("pw", nullptr, nullptr, "pwd=pw");
  int allowed = -1;
  EXPECT_EQ(capture_stdout([&] { allowed = check_access(); }), "");
  EXPECT_EQ(allowed, 1);
}

}  // namespace
