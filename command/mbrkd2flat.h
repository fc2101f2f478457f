// The mbrkd2flat converter as a function: main hands it the command line.
#ifndef MBRK_COMMAND_MBRKD2FLAT_H
#define MBRK_COMMAND_MBRKD2FLAT_H

#include <ostream>

namespace mbrk {

/// Runs `mbrkd2flat SOURCE DESTINATION` with the `argc` words of `argv`, the
/// program name first, and returns the exit status: 0 after a conversion; 1
/// for a wrong argument count, a source that cannot be read or breaks the
/// format, a destination that is the source itself under any name (compared
/// by device and inode, links followed), a dataset without inputs or expected
/// outputs, a lack of memory, or a destination that cannot be written. Every
/// message goes to `err`, one line each, flushed as it is written.
int RunConverter(int argc, const char* const* argv, std::ostream& err);

}  // namespace mbrk

#endif  // MBRK_COMMAND_MBRKD2FLAT_H
