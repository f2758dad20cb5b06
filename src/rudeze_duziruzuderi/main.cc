#include <cstdio>

#include "rudeze_duziruzuderi/request.h"

int main(int argc, char **argv) {
  const int status = handle_request(argc, argv);
  std::fflush(stdout);
  return status;
}
