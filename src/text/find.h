// Byte-string search shared by the lookups.
#pragma once

#include <cstddef>

// First occurrence of needle[0, needle_length) in haystack[0, length), or null.
const char *find_bytes(const char *haystack, size_t length, const char *needle,
                       size_t needle_length);
