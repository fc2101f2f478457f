// The mbrk command as a function: main hands it the command line and the
// process's standard streams.
//
//   mbrk info | check | head | stats | convert  [OPTIONS] ARGS
//
// Exit statuses: 0 when everything asked for was done, 1 when a file could not
// be read, was refused or could not be written, 2 for a usage error (an
// unknown subcommand or option, a missing or malformed argument).
#ifndef MBRK_COMMAND_MBRK_MBRK_H
#define MBRK_COMMAND_MBRK_MBRK_H

#include <ostream>

namespace mbrk {

/// Where the command reads and writes: "-" as a source is the file
/// descriptor `in_fd`, as a destination the stream `out`; the progress
/// display goes to `err` only when `err_is_terminal`.
struct Console {
  std::ostream& out;
  std::ostream& err;
  int in_fd = 0;
  bool err_is_terminal = false;
};

/// Runs `mbrk` with the `argc` words of `argv`, the program name first, and
/// returns the exit status (0, 1 or 2 as above). Data go to `console.out`,
/// messages to `console.err`.
int RunMbrk(int argc, const char* const* argv, const Console& console);

}  // namespace mbrk

#endif  // MBRK_COMMAND_MBRK_MBRK_H
