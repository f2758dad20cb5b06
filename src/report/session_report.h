// The session object, the session reply and the order of a session's tools.
#pragma once

#include "session/session_record.h"

// Stable insertion sort of the used tool slots by calls, most first; names
// move with their counts.
void sort_tools(SessionRecord *record);

// The session object alone, with the tools in their stored order.
void print_session_obj(const SessionRecord *record);

// The whole session reply, header block included.
void print_session_json(const SessionRecord *record, const char *sessions_root);
