#include "history/history.h"

int main(int argc, char **argv) {
  return run_history(argc, argv);
}
