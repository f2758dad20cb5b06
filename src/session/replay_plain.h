// The reading of a line that replay_line's faster reading of the agent's usual
// layout must always agree with; for the tests and the fuzzer that hold the two
// to each other.
#pragma once

#include <cstddef>

#include "session/replay.h"

// replay_line with every key looked up by the general search from the start
// of the piece.
void replay_line_plain(const char *text, size_t length, ReplayState *state, SessionRecord *record);
