// Reading and writing the bracketed text format: tokens, comments, number
// conversions and the two string helpers the whole toolkit shares.
#ifndef MBRK_FILEHANDLER_PARSETOOLS_H
#define MBRK_FILEHANDLER_PARSETOOLS_H

#include <cstdint>
#include <istream>

namespace mbrk {

/// Compares two NUL-terminated texts ignoring the case of "a".."z": both are
/// folded to upper case and compared byte by byte as unsigned values.
/// Returns -1, 0 or 1. Callers of the toolkit only test for 0.
int strcasecmp(const char* a, const char* b) noexcept;

/// The reader and writer of the bracketed text format. Its only state is the
/// work buffer in which words are collected, so one object serves any number
/// of jobs, one at a time.
class FileTools {
 public:
  /// A malformed input. Thrown by value by every reading operation.
  ///
  /// The record does not release its message: whoever catches it owns
  /// `MbrStrMessage` (a new[] array) and releases it with delete[]. Copies
  /// share the message.
  struct Error {
    char* MbrStrMessage;          // what was wrong, a new[] array
    std::istream* MbrPtrStream;   // the stream being read; not owned
    std::int32_t MbrLngSpare;     // always 0
  };

  /// Size of the work buffer that words and composed messages are built in.
  static constexpr int kBufferSize = 1028;

  /// A new[] copy of `text` and its terminator, owned by the caller.
  static char* DuplicateString(const char* text);

 private:
  char MbrStrBuffer[kBufferSize] = {};
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_PARSETOOLS_H
