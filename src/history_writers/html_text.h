// Text written into the history's HTML page, escaped for where it goes at the
// moment it is written. Names come from the agent's files and may hold any
// bytes: the page stays valid UTF-8 and valid HTML whatever they hold.
#pragma once

#include <cstdint>

// Text in element content or a quoted attribute value: & < > " ' become
// references; control characters are dropped, as the JSON writer drops them
// (tabs and line breaks show as spaces); noncharacters and bytes that are not
// UTF-8 show as U+FFFD.
void html_text(const char *text);

// The same, cut to its last `max_chars` characters after "…" when longer: the
// end of a folder's path tells most about it.
void html_text_tail(const char *text, int max_chars);

// A JSON string inside the page's data block: the same value a JSON reader
// gets from the JSON report (bytes that are not UTF-8 read as U+FFFD there),
// written so that the block cannot end early and holds no character HTML
// forbids: "<" as \u003c, C1 controls and noncharacters as \u escapes.
void page_json_str(const char *text);

// The next code point of `text`, which is not at its end: its value and its
// length in bytes; -1 and length 1 for a byte that begins no valid UTF-8.
int32_t next_code_point(const char *text, int *length);
