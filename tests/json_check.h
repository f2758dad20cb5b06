// A strict check that a reply body is one JSON text, for the tests.
#pragma once

#include <string>

// Empty when `text` is exactly one JSON value (RFC 8259 grammar, whitespace
// allowed around tokens); otherwise a short description of the first fault and
// its byte offset. Bytes 0x80 and above are accepted inside strings as they
// are, since names and values read from session files pass through unchanged
// whether or not they are UTF-8.
std::string json_error(const std::string &text);

// For a whole reply: when its header block names application/json, the body
// must be valid JSON ending in exactly one line feed. Empty when that holds (or
// the reply is no JSON reply); otherwise what is wrong.
std::string json_reply_error(const std::string &reply);
