// The history program from start to end: where the agent's time went, by day,
// week, month, profile, model, project or session, over every session of the
// root.
#pragma once

// Reads the options, the sessions and writes the report; the result is the
// exit status: 0, 1 when the sessions root is missing, 2 for a bad option.
int run_history(int argc, char **argv);
