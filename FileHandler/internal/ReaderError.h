// How the readers of the bracketed format report a malformed input.
#ifndef MBRK_FILEHANDLER_INTERNAL_READERERROR_H
#define MBRK_FILEHANDLER_INTERNAL_READERERROR_H

#include <istream>
#include <string>

#include "FileHandler/ParseTools.h"

namespace mbrk {

/// Throws FileTools::Error holding a new[] copy of `message` and naming `in`.
[[noreturn]] void Fail(std::istream& in, const char* message);
/// Messages are composed at their full length: a long name is still named
/// whole, and nothing is cut off in the middle of it.
[[noreturn]] void Fail(std::istream& in, const std::string& message);

/// Runs `read`, a reader of a file that it opens itself. Once an error leaves
/// it that stream is gone, so the error names no stream rather than a
/// destroyed one.
template <typename Read>
auto WithOwnStream(Read read) -> decltype(read()) {
  try {
    return read();
  } catch (FileTools::Error& error) {
    error.MbrPtrStream = nullptr;
    throw;
  }
}

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_READERERROR_H
