// Runs the built program as the host would: a chosen environment and nothing
// else, arguments, no standard input; collects its output and exit status.
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when it did not exit normally
  bool timed_out = false;
  long max_rss_kb = 0;  // peak resident set of the child (of the wrapper, under one)
};

// The program comes from QV_TEST_PROGRAM. When QV_TEST_WRAPPER is set (such as
// "wine"), the program runs through it and the wrapper's own variables are
// passed on as well.
ProgramResult run_program(const std::vector<std::string> &env,
                          const std::vector<std::string> &args = {}, int timeout_sec = 60);

// The same for the program named by the variable `variable` (such as
// QV_TEST_HISTORY_PROGRAM).
ProgramResult run_program_of(const char *variable, const std::vector<std::string> &env,
                             const std::vector<std::string> &args = {}, int timeout_sec = 60);

// Pointers to the strings' bytes followed by a null pointer, as execve and
// posix_spawn take their arguments and environment.
std::vector<char *> null_terminated(std::vector<std::string> &strings);

// True when the program under test is the Windows build run through a wrapper.
bool running_windows_build();

// Runs one request and checks what every run must hold: it ends in time with
// status 0, writes nothing on standard error (natively; Wine may), and a JSON
// reply is one whole JSON text ending in a line feed. `label` names the case
// in failure messages. Answers the reply.
std::string run_request(const std::vector<std::string> &env,
                        const std::vector<std::string> &args = {}, const std::string &label = "");

// The same for a request that must get a JSON reply: it also begins with the
// JSON header block. `raw`, when given, receives the whole result.
std::string run_json_request(const std::vector<std::string> &env, const std::string &label = "",
                             ProgramResult *raw = nullptr);
