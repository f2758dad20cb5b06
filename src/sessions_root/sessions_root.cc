#include "sessions_root/sessions_root.h"

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "text/str_copy.h"

namespace {

bool is_set(const char *value) {
  return value != nullptr && value[0] != '\0';
}

// "%s" then the suffix, cut to the capacity as every path is.
void format_candidate(SessionsRoot *root, const char *base, const char *suffix) {
  std::snprintf(root->path, sizeof root->path, "%s%s", base, suffix);
}

}  // namespace

SessionsRootEnvironment sessions_root_environment() {
  return {std::getenv("QV_SESSIONS_DIR"), std::getenv(qv_app_data_sessions_root().variable),
          std::getenv(qv_profile_sessions_root().variable)};
}

void resolve_sessions_root(const SessionsRootEnvironment &environment, SessionsRoot *root) {
  if (is_set(environment.override_dir)) {
    str_copy(root->path, sizeof root->path, environment.override_dir);
    root->found = qv_is_dir(root->path);
    root->rule = SessionsRootRule::kOverride;
    return;
  }
  const SessionsRootCandidate app_data = qv_app_data_sessions_root();
  const SessionsRootCandidate profile = qv_profile_sessions_root();
  root->found = 1;
  if (is_set(environment.app_data_base)) {
    format_candidate(root, environment.app_data_base, app_data.suffix);
    root->rule = SessionsRootRule::kAppData;
    if (qv_is_dir(root->path) != 0) return;
  }
  if (is_set(environment.profile_base)) {
    format_candidate(root, environment.profile_base, profile.suffix);
    root->rule = SessionsRootRule::kProfile;
    if (qv_is_dir(root->path) != 0) return;
  }
  root->found = 0;
  if (is_set(environment.app_data_base)) {
    format_candidate(root, environment.app_data_base, app_data.suffix);
    root->rule = SessionsRootRule::kAppDataAbsent;
  } else {
    str_copy(root->path, sizeof root->path, qv_fallback_sessions_root());
    root->rule = SessionsRootRule::kFallback;
  }
}

void describe_sessions_root_rule(SessionsRootRule rule, char *out, size_t capacity) {
  const char *app_data = qv_app_data_sessions_root().variable;
  const char *profile = qv_profile_sessions_root().variable;
  switch (rule) {
    case SessionsRootRule::kOverride:
      std::snprintf(out, capacity, "set by QV_SESSIONS_DIR");
      return;
    case SessionsRootRule::kAppData:
      std::snprintf(out, capacity, "found under %s", app_data);
      return;
    case SessionsRootRule::kProfile:
      std::snprintf(out, capacity, "found under %s", profile);
      return;
    case SessionsRootRule::kAppDataAbsent:
      std::snprintf(out, capacity,
                    "the default under %s: QV_SESSIONS_DIR is not set and no sessions folder "
                    "exists under %s or %s",
                    app_data, app_data, profile);
      return;
    case SessionsRootRule::kFallback:
      std::snprintf(out, capacity,
                    "the fallback in the working directory: QV_SESSIONS_DIR and %s are not set "
                    "and no sessions folder exists under %s",
                    app_data, profile);
      return;
  }
  std::snprintf(out, capacity, "unknown rule");
}
