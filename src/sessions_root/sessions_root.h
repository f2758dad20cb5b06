// Where the agent keeps its sessions: the rules that the plugin and the
// history program both follow, so that both look at the same folder.
#pragma once

#include <cstddef>

// Which rule chose the root, for messages that say why a folder was looked at.
enum class SessionsRootRule {
  kOverride,       // QV_SESSIONS_DIR, found or not: no other candidate is tried
  kAppData,        // the folder under the application-data folder, found
  kProfile,        // the folder under the user's profile, found
  kAppDataAbsent,  // neither found: the application-data one is reported
  kFallback,       // no application-data folder known: relative to the working directory
};

// The variables the rules read; null or empty means unset.
struct SessionsRootEnvironment {
  const char *override_dir;   // QV_SESSIONS_DIR
  const char *app_data_base;  // LOCALAPPDATA on Windows, XDG_DATA_HOME elsewhere
  const char *profile_base;   // USERPROFILE on Windows, HOME elsewhere
};

// The three variables from the process environment.
SessionsRootEnvironment sessions_root_environment();

struct SessionsRoot {
  char path[1024];  // longer results are cut to 1023 bytes
  int found;        // the path named an existing directory when it was resolved
  SessionsRootRule rule;
};

void resolve_sessions_root(const SessionsRootEnvironment &environment, SessionsRoot *root);

// The rule in words, such as "set by QV_SESSIONS_DIR", into `out`.
void describe_sessions_root_rule(SessionsRootRule rule, char *out, size_t capacity);
