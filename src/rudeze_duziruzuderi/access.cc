#include "rudeze_duziruzuderi/access.h"

#include <cstdlib>
#include <cstring>

#include "output/output.h"
#include "text/query.h"

namespace {

// Whole-string byte comparison whose time does not depend on where the first
// difference lies, so a guesser learns nothing from timing.
bool equals_constant_time(const char *expected, const char *given) {
  const size_t expected_length = std::strlen(expected);
  const size_t given_length = std::strlen(given);
  unsigned difference = expected_length == given_length ? 0U : 1U;
  for (size_t i = 0; i < given_length; ++i) {
    const auto want = static_cast<unsigned char>(i < expected_length ? expected[i] : expected[0]);
    difference |= static_cast<unsigned>(want ^ static_cast<unsigned char>(given[i]));
  }
  return difference == 0;
}

char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Skips leading spaces and an optional "Bearer " (scheme word in any case),
// then the spaces after it.
const char *bearer_token(const char *value) {
  while (*value == ' ') ++value;
  static const char kScheme[] = "bearer ";
  size_t i = 0;
  while (i < sizeof kScheme - 1 && value[i] != '\0' && ascii_lower(value[i]) == kScheme[i]) ++i;
  if (i == sizeof kScheme - 1) {
    value += i;
    while (*value == ' ') ++value;
  }
  return value;
}

}  // namespace

int access_allowed(const char *password, const char *x_bot_password, const char *authorization,
                   const char *query) {
  if (password == nullptr || password[0] == '\0') return 1;
  if (x_bot_password != nullptr && equals_constant_time(password, x_bot_password)) return 1;
  if (authorization != nullptr && equals_constant_time(password, bearer_token(authorization))) {
    return 1;
  }
  char pwd[128];
  if (get_query_val(query, "pwd", pwd, sizeof pwd) != 0 && equals_constant_time(password, pwd)) {
    return 1;
  }
  return 0;
}

int check_access() {
  if (access_allowed(std::getenv("BOT_PASSWORD"), std::getenv("HTTP_X_BOT_PASSWORD"),
                     std::getenv("HTTP_AUTHORIZATION"), std::getenv("QUERY_STRING")) != 0) {
    return 1;
  }
  static const char kRefusal[] =
      "Status: 401 Unauthorized\r\n"
      "Content-Type: application/json; charset=utf-8\r\n"
      "\r\n"
      "{\"ok\":false,\"error\":\"invalid node password\"}\n";
  static_assert(sizeof kRefusal - 1 == 120);
  out_bytes(kRefusal, sizeof kRefusal - 1);
  return 0;
}
