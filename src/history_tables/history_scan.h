// The session folders of a root, for the history program: every one of them,
// in listing order or most recently active first, with memory that does not
// grow with their number.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Called with the name of each session folder.
using SessionVisitor = void (*)(const char *name, void *context);

// Visits every session folder of `root` (folders whose names do not begin
// with "."), in listing order, passing over those whose time of activity is
// known to be before `active_since` (epoch seconds) without reading them.
// Answers 0 when the root cannot be listed.
int visit_sessions(const char *root, int64_t active_since, SessionVisitor visit, void *context);

// The same with the open listing, where the visitor can look up the folder's
// files without opening them.
using ListedSessionVisitor = void (*)(const DirListing *listing, const char *name, void *context);
int visit_listed_sessions(const char *root, int64_t active_since, ListedSessionVisitor visit,
                          void *context);

// How many folders visit_sessions would visit.
int64_t count_sessions(const char *root, int64_t active_since);

// Visits the session folders of several roots most recently active first (the
// modification time of the event log, or of the folder without one; ties by
// name, then by root), with the number of each one's root. The roots are
// listed once per batch of several thousand, so roots of any size cost fixed
// memory. `longest`, when given, receives the widest name (in characters)
// before the first visit. Answers -1, or the number of a root that could not
// be listed.
using RootedSessionVisitor = void (*)(int root, const char *name, void *context);
int visit_roots_by_recency(const char *const *roots, int root_count, int64_t active_since,
                           RootedSessionVisitor visit, void *context, int *longest);

// The same for one root; answers 0 when it cannot be listed.
int visit_sessions_by_recency(const char *root, int64_t active_since, SessionVisitor visit,
                              void *context, int *longest);
