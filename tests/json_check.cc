#include "json_check.h"

namespace {

class Checker {
 public:
  explicit Checker(const std::string &text) : text_(text) {}

  std::string run() {
    skip_space();
    if (!value(0)) return error_;
    skip_space();
    if (pos_ != text_.size()) return fail("text after the value");
    return "";
  }

 private:
  // Deeper nesting than any reply holds; keeps the checker's own stack bounded.
  static constexpr int kMaxDepth = 256;

  bool fail_bool(const char *what) {
    if (error_.empty()) error_ = fail(what);
    return false;
  }

  std::string fail(const char *what) const {
    return std::string(what) + " at byte " + std::to_string(pos_);
  }

  bool at_end() const { return pos_ >= text_.size(); }
  unsigned char peek() const { return static_cast<unsigned char>(text_[pos_]); }

  void skip_space() {
    while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
      ++pos_;
    }
  }

  bool literal(const char *word) {
    for (const char *p = word; *p != '\0'; ++p) {
      if (at_end() || text_[pos_] != *p) return fail_bool("bad literal");
      ++pos_;
    }
    return true;
  }

  bool digits() {
    if (at_end() || peek() < '0' || peek() > '9') return fail_bool("digit expected");
    while (!at_end() && peek() >= '0' && peek() <= '9') ++pos_;
    return true;
  }

  bool number() {
    if (peek() == '-') ++pos_;
    if (at_end()) return fail_bool("digit expected");
    if (peek() == '0') {
      ++pos_;
    } else if (!digits()) {
      return false;
    }
    if (!at_end() && peek() == '.') {
      ++pos_;
      if (!digits()) return false;
    }
    if (!at_end() && (peek() == 'e' || peek() == 'E')) {
      ++pos_;
      if (!at_end() && (peek() == '+' || peek() == '-')) ++pos_;
      if (!digits()) return false;
    }
    return true;
  }

  static bool is_hex(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }

  bool string() {
    ++pos_;  // opening quote
    for (;;) {
      if (at_end()) return fail_bool("unterminated string");
      const unsigned char c = peek();
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return fail_bool("control byte in string");
      if (c == '\\') {
        ++pos_;
        if (at_end()) return fail_bool("unterminated escape");
        const unsigned char e = peek();
        if (e == 'u') {
          for (int i = 0; i < 4; ++i) {
            ++pos_;
            if (at_end() || !is_hex(peek())) return fail_bool("bad \\u escape");
          }
        } else if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' &&
                   e != 'r' && e != 't') {
          return fail_bool("bad escape");
        }
      }
      ++pos_;
    }
  }

  bool members(int depth, char close, bool keyed) {
    ++pos_;  // opening bracket
    skip_space();
    if (!at_end() && text_[pos_] == close) {
      ++pos_;
      return true;
    }
    for (;;) {
      if (keyed) {
        if (at_end() || peek() != '"') return fail_bool("member name expected");
        if (!string()) return false;
        skip_space();
        if (at_end() || peek() != ':') return fail_bool("':' expected");
        ++pos_;
        skip_space();
      }
      if (!value(depth + 1)) return false;
      skip_space();
      if (at_end()) return fail_bool("unterminated object or array");
      if (text_[pos_] == close) {
        ++pos_;
        return true;
      }
      if (peek() != ',') return fail_bool("',' expected");
      ++pos_;
      skip_space();
    }
  }

  bool value(int depth) {
    if (depth > kMaxDepth) return fail_bool("nested too deeply");
    if (at_end()) return fail_bool("value expected");
    switch (peek()) {
      case '{':
        return members(depth, '}', true);
      case '[':
        return members(depth, ']', false);
      case '"':
        return string();
      case 't':
        return literal("true");
      case 'f':
        return literal("false");
      case 'n':
        return literal("null");
      default:
        if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return number();
        return fail_bool("value expected");
    }
  }

  const std::string &text_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

std::string json_error(const std::string &text) {
  return Checker(text).run();
}

std::string json_reply_error(const std::string &reply) {
  const size_t blank = reply.find("\r\n\r\n");
  if (blank == std::string::npos) return "";
  const std::string head = reply.substr(0, blank + 2);
  if (head.find("Content-Type: application/json") == std::string::npos) return "";
  const std::string body = reply.substr(blank + 4);
  const char before_end = body.size() < 2 ? '\n' : body[body.size() - 2];
  if (body.size() < 2 || body.back() != '\n' || before_end == '\n' || before_end == '\r' ||
      before_end == ' ' || before_end == '\t') {
    return "JSON body does not end with exactly one line feed";
  }
  const std::string problem = json_error(body.substr(0, body.size() - 1));
  return problem.empty() ? "" : "JSON body: " + problem;
}
