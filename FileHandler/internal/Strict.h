// Strict reading of the bracketed format. The format reads a number word by
// its longest leading number ("12abc" is 12) and takes bytes above 127 for
// separators; a stream marked strict refuses both instead: a number word must
// be wholly a number, and a byte above 127 may stand only inside a comment.
// The mark travels with the stream (an iword of it), so every reader that
// takes the stream honours it without being told.
#ifndef MBRK_FILEHANDLER_INTERNAL_STRICT_H
#define MBRK_FILEHANDLER_INTERNAL_STRICT_H

#include <cstddef>
#include <istream>

namespace mbrk {

/// The message of a byte above 127 outside a comment, read strictly.
inline constexpr const char* kNonAsciiByte = "Unexpected non-ASCII byte";

/// Marks `in` as read strictly while it lives when `strict` is set (and then
/// gives the stream the mark it had back when it goes); does nothing else.
class StrictReading {
 public:
  StrictReading(std::istream& in, bool strict);
  ~StrictReading();
  StrictReading(const StrictReading&) = delete;
  StrictReading& operator=(const StrictReading&) = delete;

 private:
  std::istream& in_;
  bool marked_;
  long before_;
};

/// Whether `in` is read strictly.
bool IsStrict(std::istream& in);

/// Called where a byte above 127 between tokens has just been consumed:
/// throws Error "Unexpected non-ASCII byte" when `in` is read strictly (the
/// error then stands just past that byte).
void CheckNonAscii(std::istream& in);

/// Whether the `length` bytes at `text` are wholly the number that
/// ConvertNumber reads from them, and wholly the integer ConvertInteger reads
/// ("12abc", "18.9x" and "4e" are not; "-.5", "1e400", "inf" and "0x1p3" are).
bool WhollyNumber(const char* text, std::size_t length);
bool WhollyInteger(const char* text, std::size_t length);

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_STRICT_H
