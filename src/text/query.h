// Request parameters from a form-encoded query string, and the query read as
// the words of a search string.
#pragma once

#include <cstddef>

// Finds the first segment "name=value" of a form-encoded query string (keys only
// at the start or right after "&", compared in encoded form) and stores its value,
// cut to capacity - 1 encoded bytes and then decoded ("+" is a space, "%HH" a
// byte). Answers 1 when the key is present, whatever its value; `out` always
// holds a valid string, empty on 0.
int get_query_val(const char *query, const char *name, char *out, size_t capacity);

// 1 when `words` (`count` of them) are exactly the words of `query` read as a
// search string (RFC 3875, section 4.4): split on "+", then each word decoded
// ("%HH" a byte; "%2B" is a "+" within a word, "&" an ordinary byte). Words may
// be empty ("a++b" is three); an empty or null query has none. A decoded NUL
// ends its word, as it ends a decoded value.
int query_words_are(const char *query, const char *const *words, int count);
