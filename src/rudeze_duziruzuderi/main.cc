#include "rudeze_duziruzuderi/request.h"

int main(int argc, char **argv) {
  return handle_request(argc, argv);
}
