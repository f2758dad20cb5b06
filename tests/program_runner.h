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

// True when the program under test is the Windows build run through a wrapper.
bool running_windows_build();
