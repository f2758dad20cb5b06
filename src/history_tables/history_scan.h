// The session folders of a root, for the history program: every one of them,
// in listing order or most recently active first, with memory that does not
// grow with their number.
#pragma once

#include <cstdint>

// Called with the name of each session folder.
using SessionVisitor = void (*)(const char *name, void *context);

// Visits every session folder of `root` (folders whose names do not begin
// with "."), in listing order, passing over those whose time of activity is
// known to be before `active_since` (epoch seconds) without reading them.
// Answers 0 when the root cannot be listed.
int visit_sessions(const char *root, int64_t active_since, SessionVisitor visit, void *context);

// How many folders visit_sessions would visit.
int64_t count_sessions(const char *root, int64_t active_since);

// Visits them most recently active first (the modification time of the event
// log, or of the folder without one; ties by name). The root is listed once
// per batch of several thousand, so a root of any size costs fixed memory.
// `longest`, when given, receives the widest name (in characters) before the
// first visit.
int visit_sessions_by_recency(const char *root, int64_t active_since, SessionVisitor visit,
                              void *context, int *longest);
