// Field lookup in JSON text without a parser: the first occurrence of "key" (in
// double quotes) anywhere in the text, then tabs, spaces and colons, then a
// scalar value. Nesting, arrays and whether the match is a member name are not
// looked at; only the first occurrence is ever examined.
#pragma once

#include <cstddef>

// String value, decoded (\r \t \n and \X for any other X) into `out`, cut to
// capacity - 1 bytes. `out` is the empty string after a 0.
int json_get_str(const char *text, const char *key, char *out, size_t capacity);

// Number value as strtod reads it, from a digit or "-".
int json_get_num(const char *text, const char *key, double *value);

// The string lookup on a text of `length` bytes that need not be NUL-terminated;
// a NUL byte inside still ends the text, as it would for a C string.
int json_get_str_n(const char *text, size_t length, const char *key, char *out, size_t capacity);

// Stores a looked-up number into a 64-bit field: truncated toward zero,
// saturated at the type's limits, NaN as 0.
long long json_num_to_int64(double value);
