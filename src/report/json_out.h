// Pieces shared by every JSON reply, written to standard output as they are
// produced.
#pragma once

#include <cstdint>

// The header block of a JSON reply: content type, no-store, nosniff, empty line.
void json_header();

// Writes `text` as a JSON string, quotes included: \" \\ \n \r \t escaped, other
// control bytes and DEL dropped, every other byte (UTF-8 included) as it is.
void json_str(const char *text);

// "1d 01h 01m", "01h 01m 01s", "01m 01s" or "5s"; negative counts as 0.
void format_duration(int64_t seconds, char out[64]);

// The member pair `separator`"NAME_sec":N,"NAME_fmt":"duration text".
void json_duration_members(const char *separator, const char *name, int64_t seconds);
