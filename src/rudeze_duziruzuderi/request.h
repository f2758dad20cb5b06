// One request from start to end: description, access check, parameters,
// sessions root, and the choice of reply.
#pragma once

// 1 when a session id may be joined to the sessions root and loaded directly:
// it must not name a parent, the root itself, or a path of several levels.
int sid_is_plain_name(const char *sid);

// 1 when the command-line arguments only restate the query, so say nothing of
// their own: the request is a CGI request (`gateway_interface` set), its query
// holds no "=", and argv[1] to argv[argc - 1] are exactly the query's words
// (split on "+", each percent-decoded). A host may pass such a query as
// arguments as well (RFC 3875, section 4.4). 0 when there are no arguments.
int arguments_came_from_query(const char *gateway_interface, const char *query, int argc,
                              const char *const *argv);

// Handles the request of this process; the result is the exit status (always 0).
int handle_request(int argc, char **argv);
