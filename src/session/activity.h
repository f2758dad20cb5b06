// When a session was last active, looked up from the open listing of its root
// without opening any of its files.
#pragma once

#include <cstdint>
#include <limits>

#include "platform/platform.h"

// Ranks below every time of activity: a session whose times cannot be read.
constexpr int64_t kNoActivity = std::numeric_limits<int64_t>::min();

// The modification time of the session's event log (the agent writes it as
// events happen), or of its folder when it has no log that is a regular file,
// in the units of qv_listed_modified_time; kNoActivity when neither can be
// read (the session vanished).
int64_t session_activity_time(const DirListing *listing, const char *name);
