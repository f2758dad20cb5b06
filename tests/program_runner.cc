#include "program_runner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "fixed_replies.h"
#include "json_check.h"

namespace {

std::string env_or_empty(const char *name) {
  const char *value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

double now_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

std::vector<char *> null_terminated(std::vector<std::string> &strings) {
  std::vector<char *> pointers;
  for (auto &s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

bool running_windows_build() {
  return !env_or_empty("QV_TEST_WRAPPER").empty();
}

ProgramResult run_program(const std::vector<std::string> &env, const std::vector<std::string> &args,
                          int timeout_sec) {
  return run_program_of("QV_TEST_PROGRAM", env, args, timeout_sec);
}

ProgramResult run_program_of(const char *variable, const std::vector<std::string> &env,
                             const std::vector<std::string> &args, int timeout_sec) {
  const std::string program = env_or_empty(variable);
  if (program.empty()) throw std::runtime_error(std::string(variable) + " is not set");
  std::vector<std::string> argv_strings;
  std::vector<std::string> env_strings = env;
  const std::string wrapper = env_or_empty("QV_TEST_WRAPPER");
  if (!wrapper.empty()) {
    argv_strings.push_back(wrapper);
    // The wrapper needs its own settings; Wine sets the Windows variables itself.
    for (const char *name : {"HOME", "PATH", "WINEPREFIX", "WINEDLLOVERRIDES"}) {
      const std::string value = env_or_empty(name);
      if (!value.empty()) env_strings.push_back(std::string(name) + "=" + value);
    }
    env_strings.emplace_back("WINEDEBUG=-all");
    // Without a UTF-8 locale Wine reads non-ASCII Unix names and variables as 7-bit.
    env_strings.emplace_back("LANG=C.UTF-8");
  }
  argv_strings.push_back(program);
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());

  std::vector<char *> argv = null_terminated(argv_strings);
  std::vector<char *> envp = null_terminated(env_strings);

  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setpgid(0, 0);
    const int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    execve(argv[0], argv.data(), envp.data());
    // execve needs a path; look the wrapper up in PATH as well.
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);

  ProgramResult result;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  const double deadline = now_seconds() + timeout_sec;
  char chunk[65536];
  int wait_status = 0;
  bool exited = false;
  rusage usage{};
  // Reads until the program has ended and its pipes are drained. Helpers that
  // a wrapper leaves running may hold the pipes open, so the end of the
  // program, not the end of the pipes, ends the wait.
  for (;;) {
    const int ready = poll(fds, 2, exited ? 0 : 50);
    bool got_any = false;
    for (int i = 0; ready > 0 && i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
      } else {
        got_any = true;
        (i == 0 ? result.out : result.err).append(chunk, static_cast<size_t>(got));
      }
    }
    if (fds[0].fd < 0 && fds[1].fd < 0 && !exited) {
      wait4(pid, &wait_status, 0, &usage);
      exited = true;
    }
    if (exited && !got_any) break;
    if (!exited && wait4(pid, &wait_status, WNOHANG, &usage) == pid) exited = true;
    if (!exited && now_seconds() > deadline) {
      result.timed_out = true;
      kill(-pid, SIGKILL);
      wait4(pid, &wait_status, 0, &usage);
      exited = true;
    }
  }
  for (auto &fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  if (!result.timed_out && WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
  result.max_rss_kb = usage.ru_maxrss;
  return result;
}

namespace {

ProgramResult run_checked(const std::vector<std::string> &env, const std::vector<std::string> &args,
                          const std::string &label) {
  ProgramResult result = run_program(env, args, 60);
  EXPECT_FALSE(result.timed_out) << label;
  EXPECT_EQ(result.status, 0) << label;
  if (!running_windows_build()) EXPECT_EQ(result.err, "") << label;
  EXPECT_EQ(json_reply_error(result.out), "") << label;
  return result;
}

}  // namespace

std::string run_request(const std::vector<std::string> &env, const std::vector<std::string> &args,
                        const std::string &label) {
  return run_checked(env, args, label).out;
}

std::string run_json_request(const std::vector<std::string> &env, const std::string &label,
                             ProgramResult *raw) {
  ProgramResult result = run_checked(env, {}, label);
  EXPECT_EQ(result.out.rfind(kJsonHeader, 0), 0U) << label << "\n" << result.out.substr(0, 200);
  if (raw != nullptr) *raw = result;
  return result.out;
}
