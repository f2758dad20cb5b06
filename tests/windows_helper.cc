// A Windows program for the tests under Wine: it reports what a Windows
// process sees (code page, variables), holds a file open the way the program
// or the C runtime does, and plays the agent, which renames and deletes a
// session's files while someone reads them. File sharing is enforced only
// between Windows processes, so the agent's side must be one.
//   qv_windows_helper acp                 the active code page
//   qv_windows_helper env NAME            the variable's value
//   qv_windows_helper hold program|crt FILE
//       opens FILE with the program's own call or with fopen, prints "held",
//       and keeps it open until standard input ends
//   qv_windows_helper agent DIR [WAIT_FILE]
//       (once WAIT_FILE exists) renames DIR/events.jsonl, deletes it, deletes
//       DIR/meta.json and renames DIR to DIR-moved; prints one line per step
//       and exits with 0 when every step succeeded
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

int print_code_page() {
  std::printf("%u\n", GetACP());
  return 0;
}

int print_variable(const char *name) {
  const char *value = std::getenv(name);
  if (value == nullptr) return 1;
  std::printf("%s\n", value);
  return 0;
}

int hold(const char *how, const char *path) {
  FILE *file = std::strcmp(how, "crt") == 0 ? std::fopen(path, "rb") : qv_open_file(path);
  if (file == nullptr) {
    std::printf("not opened\n");
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  std::fclose(file);
  return 0;
}

bool step(const char *what, BOOL done) {
  if (done != 0) {
    std::printf("%s: ok\n", what);
  } else {
    std::printf("%s: error %lu\n", what, GetLastError());
  }
  return done != 0;
}

int play_agent(const std::string &dir, const char *wait_file) {
  if (wait_file != nullptr) {
    // The caller creates the file once the reader is known to hold the log.
    for (int i = 0; GetFileAttributesA(wait_file) == INVALID_FILE_ATTRIBUTES; ++i) {
      if (i == 120000) return 2;
      Sleep(1);
    }
  }
  const std::string log = dir + "/events.jsonl";
  const std::string moved_log = dir + "/events.old";
  bool all = step("rename log", MoveFileExA(log.c_str(), moved_log.c_str(), 0));
  all = step("delete log", DeleteFileA(moved_log.c_str())) && all;
  all = step("delete meta", DeleteFileA((dir + "/meta.json").c_str())) && all;
  all = step("rename folder", MoveFileExA(dir.c_str(), (dir + "-moved").c_str(), 0)) && all;
  return all ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  qv_prepare_stdout();  // "\n" stays one byte, as in the program's replies
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "acp") return print_code_page();
  if (command == "env" && argc == 3) return print_variable(argv[2]);
  if (command == "hold" && argc == 4) return hold(argv[2], argv[3]);
  if (command == "agent" && (argc == 3 || argc == 4)) {
    return play_agent(argv[2], argc == 4 ? argv[3] : nullptr);
  }
  std::fprintf(stderr,
               "usage: qv_windows_helper acp | env NAME | hold program|crt FILE | "
               "agent DIR [WAIT_FILE]\n");
  return 2;
}
