// The replies whose bytes never vary, and the two error replies of the session
// action, as the tests expect them.
#pragma once

#include <string>

inline const std::string kJsonHeader =
    "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n";
inline const std::string kHtmlHeader = "Content-Type: text/html; charset=utf-8\r\n";
inline const std::string kRefusal =
    "Status: 401 Unauthorized\r\nContent-Type: application/json; charset=utf-8\r\n\r\n"
    "{\"ok\":false,\"error\":\"invalid node password\"}\n";
inline const std::string kDescription = "{\"name\":\"sessions\",\"desc\":\"Turn metrics\"}\n";

// `text` as a JSON string: quotes around it, and a backslash before each
// double quote and backslash (the tests' names hold no control bytes).
std::string json_quoted(const std::string &text);

// The whole reply of the session action without a sid, and for a sid that
// names no session.
std::string missing_sid_reply(const std::string &root);
std::string not_found_reply(const std::string &sid, const std::string &root);
