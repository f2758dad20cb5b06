// Request parameters from a form-encoded query string.
#pragma once

#include <cstddef>

// Finds the first segment "name=value" of a form-encoded query string (keys only
// at the start or right after "&", compared in encoded form) and stores its value,
// cut to capacity - 1 encoded bytes and then decoded ("+" is a space, "%HH" a
// byte). Answers 1 when the key is present, whatever its value; `out` always
// holds a valid string, empty on 0.
int get_query_val(const char *query, const char *name, char *out, size_t capacity);
