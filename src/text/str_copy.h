// The bounded copy behind every fixed-capacity text.
#pragma once

#include <cstddef>

// At most capacity - 1 bytes of `src`, always NUL-terminated. A null `src`
// stores the empty string; a null `dst` is left alone.
void str_copy(char *dst, size_t capacity, const char *src);
