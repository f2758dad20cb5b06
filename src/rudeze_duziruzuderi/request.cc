#include "rudeze_duziruzuderi/request.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output/output.h"
#include "page/dashboard.h"
#include "report/json_out.h"
#include "report/session_report.h"
#include "report/summary_report.h"
#include "rudeze_duziruzuderi/access.h"
#include "rudeze_duziruzuderi/session_table.h"
#include "session/load_session.h"
#include "sessions_root/sessions_root.h"
#include "text/query.h"

namespace {

// Both tables are far too large for the stack.
SessionTable g_table;
SessionRecord g_scratch;

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

}  // namespace

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

  SessionsRoot root;
  resolve_sessions_root(sessions_root_environment(), &root);

  if (root.found != 0) {
    scan_session_dirs(&g_table, root.path);
    load_session_table(&g_table, root.path, &g_scratch);
  }
  if (std::strcmp(action, "session") == 0) {
    answer_session(sid, root.path);
  } else {
    print_summary_json(g_table.records, g_table.count, root.path, root.found);
  }
}

}  // namespace

int handle_request(int argc, char **argv) {
  out_begin();
  answer_request(argc, argv);
  out_flush();
  return 0;
}
