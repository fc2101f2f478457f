#include <unistd.h>

#include <iostream>

#include "command/mbrk/Mbrk.h"

int main(int argc, char** argv) {
  // Data go out in large blocks of their own: no second buffer, no
  // synchronisation with the C streams.
  std::ios::sync_with_stdio(false);
  const mbrk::Console console{std::cout, std::cerr, STDIN_FILENO, ::isatty(STDERR_FILENO) == 1};
  const int status = mbrk::RunMbrk(argc, argv, console);
  // Data that never reached their destination (a full disk, a closed pipe)
  // make the run a failure.
  if (!std::cout.flush()) {
    std::cerr << "mbrk: cannot write to standard output" << std::endl;
    return status == 0 ? 1 : status;
  }
  return status;
}
