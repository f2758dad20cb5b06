// Runs a command once with its output discarded and prints its wall-clock time
// in seconds and its peak resident memory in KiB: "SECONDS KIB".
//
//   qv_measure COMMAND [ARG...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s COMMAND [ARG...]\n", argv[0]);
    return 2;
  }
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 1);
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  timespec end{};
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double seconds = static_cast<double>(end.tv_sec - start.tv_sec) +
                         static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
  std::printf("%.6f %ld\n", seconds, usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
