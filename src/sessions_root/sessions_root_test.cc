#include "sessions_root/sessions_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace {

// One situation: which variables are set, which candidate folders exist, and
// what the rules must answer.
struct RootCase {
  const char *label;
  const char *override_dir;  // relative to the scratch folder; "" for empty, null for unset
  const char *app_data;
  const char *profile;
  bool app_data_folder;  // the app-data candidate exists
  bool profile_folder;
  const char *expected;  // relative to the scratch folder, "=" for the fallback
  int found;
  SessionsRootRule rule;
};

TEST(SessionsRoot, FirstRuleThatAppliesDecides) {
  const std::string app_suffix = qv_app_data_sessions_root().suffix;
  const std::string profile_suffix = qv_profile_sessions_root().suffix;
  const RootCase cases[] = {
      {"override found", "given", "data", "home", true, true, "given", 1,
       SessionsRootRule::kOverride},
      {"override is a file: no other candidate", "file", "data", "home", true, true, "file", 0,
       SessionsRootRule::kOverride},
      {"override missing", "nowhere", nullptr, nullptr, false, false, "nowhere", 0,
       SessionsRootRule::kOverride},
      {"empty override counts as unset", "", "data", "home", true, true, "data*", 1,
       SessionsRootRule::kAppData},
      {"app data first", nullptr, "data", "home", true, true, "data*", 1,
       SessionsRootRule::kAppData},
      {"profile when app data lacks the folder", nullptr, "data", "home", false, true, "home+", 1,
       SessionsRootRule::kProfile},
      {"profile when app data is unset", nullptr, nullptr, "home", false, true, "home+", 1,
       SessionsRootRule::kProfile},
      {"neither: app data reported", nullptr, "data", "home", false, false, "data*", 0,
       SessionsRootRule::kAppDataAbsent},
      {"neither, no app data: fallback", nullptr, nullptr, "home", false, false, "=", 0,
       SessionsRootRule::kFallback},
      {"nothing set: fallback", nullptr, nullptr, nullptr, false, false, "=", 0,
       SessionsRootRule::kFallback},
      {"empty app data: fallback", nullptr, "", "", false, false, "=", 0,
       SessionsRootRule::kFallback},
  };
  for (const RootCase &c : cases) {
    TempDir dir;
    write_file(dir.at("file"), "x");
    make_dirs(dir.at("given"));
    if (c.app_data_folder) make_dirs(dir.at("data") + app_suffix);
    if (c.profile_folder) make_dirs(dir.at("home") + profile_suffix);
    auto variable = [&dir](const char *value, std::string *storage) -> const char * {
      if (value == nullptr) return nullptr;
      *storage = value[0] == '\0' ? "" : dir.at(value);
      return storage->c_str();
    };
    std::string override_dir;
    std::string app_data;
    std::string profile;
    const SessionsRootEnvironment environment = {variable(c.override_dir, &override_dir),
                                                 variable(c.app_data, &app_data),
                                                 variable(c.profile, &profile)};
    std::string expected = c.expected;
    if (expected == "=") {
      expected = qv_fallback_sessions_root();
    } else if (expected.back() == '*') {
      expected = dir.at(expected.substr(0, expected.size() - 1)) + app_suffix;
    } else if (expected.back() == '+') {
      expected = dir.at(expected.substr(0, expected.size() - 1)) + profile_suffix;
    } else {
      expected = dir.at(expected);
    }
    SessionsRoot root;
    std::memset(&root, 0x55, sizeof root);
    resolve_sessions_root(environment, &root);
    EXPECT_EQ(root.path, expected) << c.label;
    EXPECT_EQ(root.found, c.found) << c.label;
    EXPECT_EQ(root.rule, c.rule) << c.label;
  }
}

TEST(SessionsRoot, LongPathsAreCutAndRulesAreNamed) {
  const std::string long_path(3000, 'a');
  const SessionsRootEnvironment environment = {long_path.c_str(), nullptr, nullptr};
  SessionsRoot root;
  resolve_sessions_root(environment, &root);
  EXPECT_EQ(std::string(root.path), long_path.substr(0, 1023));
  EXPECT_EQ(root.found, 0);

  const std::string app_data = qv_app_data_sessions_root().variable;
  const std::string profile = qv_profile_sessions_root().variable;
  const struct {
    SessionsRootRule rule;
    std::string must_hold;
  } texts[] = {{SessionsRootRule::kOverride, "QV_SESSIONS_DIR"},
               {SessionsRootRule::kAppData, app_data},
               {SessionsRootRule::kProfile, profile},
               {SessionsRootRule::kAppDataAbsent, profile},
               {SessionsRootRule::kFallback, "working directory"}};
  for (const auto &t : texts) {
    char text[256];
    describe_sessions_root_rule(t.rule, text, sizeof text);
    EXPECT_NE(std::string(text).find(t.must_hold), std::string::npos) << text;
  }
}

}  // namespace
