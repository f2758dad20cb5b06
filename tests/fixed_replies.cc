#include "fixed_replies.h"

std::string json_quoted(const std::string &text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string missing_sid_reply(const std::string &root) {
  return kJsonHeader + "{\"ok\":false,\"error\":\"missing sid parameter\",\"sessions_root\":" +
         json_quoted(root) + "}\n";
}

std::string not_found_reply(const std::string &sid, const std::string &root) {
  return kJsonHeader + "{\"ok\":false,\"error\":\"session not found\",\"sid\":" + json_quoted(sid) +
         ",\"sessions_root\":" + json_quoted(root) + "}\n";
}
