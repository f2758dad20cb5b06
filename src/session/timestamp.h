// Event times of the log: "YYYY-MM-DD hh:mm:ss" in UTC, read as sscanf would read
// "%d-%d-%d %d:%d:%d", with anything after the seconds ignored.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads the six numbers like sscanf: whitespace before each number, an optional
// sign, one or more digits, "-" and ":" right after the number before them, and
// the space matching any run of whitespace or none. Numbers that do not fit a
// 32-bit int saturate. Answers how many numbers were read (0 to 6).
int scan_event_time(const char *text, int32_t fields[6]);

// Days from 1970-01-01 of a proleptic Gregorian date; month 1 to 12, other
// fields taken as they are and rolled over.
int64_t epoch_from_civil(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                         int64_t second);

// The agent's own layout, "YYYY-MM-DD hh:mm:ss", is this many bytes long.
constexpr size_t kEventTimeLength = 19;

// Whether ts[0, 19) has that layout, every digit and separator in place.
// Checked front to back, so a shorter NUL-terminated text fails at its NUL.
bool is_fixed_event_time(const char *ts);

// The same test for a ts known to hold at least 19 bytes: eight at a time,
// without a branch per byte.
bool has_fixed_event_time(const char *ts);

// Event time of 19 bytes in that layout, as parse_event_time gives it for the
// same text: 0 when the month or day is out of range or the time is at or
// before 1970-01-01 00:00:00.
int64_t fixed_event_time(const char *ts);

// Event time of a "ts" text in epoch seconds, or 0 when the line must be
// skipped: shorter than 19 bytes, fewer than six numbers, month or day out of
// range, or at or before 1970-01-01 00:00:00.
int64_t parse_event_time(const char *ts);
