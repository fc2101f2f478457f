// Reading a stream byte by byte, the one way every scanner of the toolkit
// takes its characters.
//
// A byte is an int 0..255, as the stream buffer delivers it; the end of the
// input is kEndOfInput (-1), which no byte can equal. Characters are never
// widened through a signed char on their way to a comparison: 0xFF would then
// read as -1, the end. Bytes held in memory are widened with ByteOf (Text.h).
#ifndef MBRK_BASE_INTERNAL_BYTEREADER_H
#define MBRK_BASE_INTERNAL_BYTEREADER_H

#include <istream>
#include <streambuf>
#include <string>

namespace mbrk {

/// The end of the input as ByteReader reports it.
inline constexpr int kEndOfInput = std::char_traits<char>::eof();

/// The bytes of a stream, taken straight from its buffer: a sentry per byte
/// would cost more than the rest of a reader. The input ends when no byte can
/// be had: at the end of the data, which sets the stream's eofbit as an
/// unformatted get would, or at once when the stream is not good() to begin
/// with (failed, bad, or already at its end), as a get treats it too.
class ByteReader {
 public:
  explicit ByteReader(std::istream& in) : in_(in), buffer_(in.good() ? in.rdbuf() : nullptr) {}

  /// The next byte, left in the stream, or kEndOfInput.
  int Peek() { return buffer_ != nullptr ? Seen(buffer_->sgetc()) : kEndOfInput; }
  /// The next byte, consumed, or kEndOfInput.
  int Next() { return buffer_ != nullptr ? Seen(buffer_->sbumpc()) : kEndOfInput; }
  /// Consumes the byte that Peek returned and returns the one after it.
  int SkipAndPeek() { return buffer_ != nullptr ? Seen(buffer_->snextc()) : kEndOfInput; }
  /// Consumes the byte that Peek returned, which was not kEndOfInput.
  void Skip() { buffer_->sbumpc(); }
  /// The byte after the one that Peek returned (which was not kEndOfInput),
  /// or kEndOfInput; both are left in the stream, whose state is untouched.
  int PeekAfterNext() {
    buffer_->sbumpc();
    const int c = buffer_->sgetc();
    buffer_->sungetc();
    return c;
  }
  /// Gives back the byte that Next returned last, which was not kEndOfInput.
  void PutBack() { buffer_->sungetc(); }
  /// The stream's buffer, for readers that look at its bytes in place; null
  /// when the stream was not good.
  std::streambuf* buffer() const { return buffer_; }

 private:
  int Seen(int c) {
    if (c == kEndOfInput) in_.setstate(std::ios_base::eofbit);
    return c;
  }

  std::istream& in_;
  std::streambuf* buffer_;
};

/// The bytes a stream buffer holds, read in place: readers that find what they
/// need among them take it without a call per byte, and leave the rest (a
/// text that may run on past them, the end of the input) to ByteReader. The
/// get area's pointers are protected members of std::streambuf; a pointer to
/// member formed through a derived class reaches them in any stream buffer.
/// Moving the read position inside the get area is what sbumpc does for
/// every byte it hands out, so the buffer cannot tell the difference.
class GetArea : public std::streambuf {
 public:
  /// The next byte the buffer would hand out, and the end of those it holds;
  /// equal when it holds none (or both null).
  static const char* Next(std::streambuf* sb) { return (sb->*&GetArea::gptr)(); }
  static const char* End(std::streambuf* sb) { return (sb->*&GetArea::egptr)(); }
  /// Consumes everything before `next`, a place in [Next(sb), End(sb)].
  static void MoveTo(std::streambuf* sb, const char* next) {
    char* const begin = (sb->*&GetArea::eback)();
    char* const end = (sb->*&GetArea::egptr)();
    (sb->*&GetArea::setg)(begin, begin + (next - begin), end);
  }
};

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_BYTEREADER_H
