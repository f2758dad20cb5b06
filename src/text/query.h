// Bounded text handling for request parameters.
#pragma once

#include <cstddef>

// Bounded copy: at most capacity - 1 bytes of `src`, always NUL-terminated.
// A null `src` stores the empty string; a null `dst` is left alone.
void str_copy(char *dst, size_t capacity, const char *src);

// Finds the first segment "name=value" of a form-encoded query string (keys only
// at the start or right after "&", compared in encoded form) and stores its value,
// cut to capacity - 1 encoded bytes and then decoded ("+" is a space, "%HH" a
// byte). Answers 1 when the key is present, whatever its value; `out` always
// holds a valid string, empty on 0.
int get_query_val(const char *query, const char *name, char *out, size_t capacity);
