// One request from start to end: description, access check, parameters,
// sessions root, and the choice of reply.
#pragma once

// 1 when a session id may be joined to the sessions root and loaded directly:
// it must not name a parent, the root itself, or a path of several levels.
int sid_is_plain_name(const char *sid);

// Handles the request of this process; the result is the exit status (always 0).
int handle_request(int argc, char **argv);
