#include "rudeze_duziruzuderi/request.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output/output.h"
#include "page/dashboard.h"
#include "platform/platform.h"
#include "report/json_out.h"
#include "report/session_report.h"
#include "report/summary_report.h"
#include "rudeze_duziruzuderi/access.h"
#include "rudeze_duziruzuderi/session_table.h"
#include "session/load_session.h"
#include "text/query.h"
#include "text/str_copy.h"

namespace {

// Both tables are far too large for the stack.
SessionTable g_table;
SessionRecord g_scratch;

bool is_set(const char *value) {
  return value != nullptr && value[0] != '\0';
}

void write_description() {
  out_text("{\"name\":\"sessions\",\"desc\":\"Turn metrics\"}\n");
}

void write_missing_sid(const char *root) {
  json_header();
  out_text("{\"ok\":false,\"error\":\"missing sid parameter\",\"sessions_root\":");
  json_str(root);
  out_text("}\n");
}

void write_session_not_found(const char *sid, const char *root) {
  json_header();
  out_text("{\"ok\":false,\"error\":\"session not found\",\"sid\":");
  json_str(sid);
  out_text(",\"sessions_root\":");
  json_str(root);
  out_text("}\n");
}

void answer_session(const char *sid, const char *root) {
  if (sid[0] == '\0') {
    write_missing_sid(root);
    return;
  }
  if (const SessionRecord *found = find_session(&g_table, sid)) {
    std::memcpy(&g_scratch, found, sizeof g_scratch);
  } else if (sid_is_plain_name(sid) == 0 || load_session(root, sid, &g_scratch) == 0) {
    write_session_not_found(sid, root);
    return;
  }
  sort_tools(&g_scratch);
  print_session_json(&g_scratch, root);
}

// "%s" then the suffix, cut to the capacity as every path is.
void format_candidate(char *root, size_t capacity, const char *base, const char *suffix) {
  std::snprintf(root, capacity, "%s%s", base, suffix);
}

}  // namespace

int resolve_sessions_root(char *root, size_t capacity) {
  const char *override_dir = std::getenv("QV_SESSIONS_DIR");
  if (is_set(override_dir)) {
    str_copy(root, capacity, override_dir);
    return qv_is_dir(root);
  }
  const SessionsRootCandidate app_data = qv_app_data_sessions_root();
  const SessionsRootCandidate profile = qv_profile_sessions_root();
  const char *app_data_base = std::getenv(app_data.variable);
  const char *profile_base = std::getenv(profile.variable);
  if (is_set(app_data_base)) {
    format_candidate(root, capacity, app_data_base, app_data.suffix);
    if (qv_is_dir(root) != 0) return 1;
  }
  if (is_set(profile_base)) {
    format_candidate(root, capacity, profile_base, profile.suffix);
    if (qv_is_dir(root) != 0) return 1;
  }
  if (is_set(app_data_base)) {
    format_candidate(root, capacity, app_data_base, app_data.suffix);
  } else {
    str_copy(root, capacity, qv_fallback_sessions_root());
  }
  return 0;
}

int sid_is_plain_name(const char *sid) {
  // Windows drops trailing dots and spaces from a name, so "..." or ".. "
  // would name the parent there: no name of only dots and spaces is plain.
  if (sid[std::strspn(sid, ". ")] == '\0') return 0;
  return std::strpbrk(sid, "/\\") == nullptr ? 1 : 0;
}

int arguments_came_from_query(const char *gateway_interface, const char *query, int argc,
                              const char *const *argv) {
  if (gateway_interface == nullptr || query == nullptr || argc < 2) return 0;
  if (std::strchr(query, '=') != nullptr) return 0;
  return query_words_are(query, argv + 1, argc - 1);
}

namespace {

void answer_request(int argc, char **argv) {
  const char *query = std::getenv("QUERY_STRING");
  // Apache, for one, passes "?--meta" as the argument "--meta" too: that is a
  // request like any other, not the host asking for the description.
  const bool own_arguments =
      arguments_came_from_query(std::getenv("GATEWAY_INTERFACE"), query, argc, argv) == 0;
  if ((own_arguments && argc > 1 && std::strcmp(argv[1], "--meta") == 0) ||
      std::getenv("QV_PLUGIN_META") != nullptr) {
    write_description();
    return;
  }
  if (check_access() == 0) return;

  if (query == nullptr) query = "";
  char action[32];
  char sid[128];
  char format[16];
  get_query_val(query, "action", action, sizeof action);
  get_query_val(query, "sid", sid, sizeof sid);
  if (sid[0] == '\0') get_query_val(query, "id", sid, sizeof sid);

  // The page needs neither the sessions root nor any session, so it is chosen
  // before the root is looked at.
  const int has_format = get_query_val(query, "format", format, sizeof format);
  if (action[0] == '\0' && has_format == 0) {
    print_dashboard_page(sid);
    return;
  }

  char root[1024];
  const int root_found = resolve_sessions_root(root, sizeof root);

  if (root_found != 0) {
    scan_session_dirs(&g_table, root);
    load_session_table(&g_table, root, &g_scratch);
  }
  if (std::strcmp(action, "session") == 0) {
    answer_session(sid, root);
  } else {
    print_summary_json(g_table.records, g_table.count, root, root_found);
  }
}

}  // namespace

int handle_request(int argc, char **argv) {
  out_begin();
  answer_request(argc, argv);
  out_flush();
  return 0;
}
