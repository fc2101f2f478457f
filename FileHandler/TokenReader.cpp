// The token reader: the lexical rules of the bracketed format, its comments
// and its number conversions.
#include <cstdint>
#include <cstring>
#include <memory>
#include <streambuf>
#include <string>
#include <utility>

#include "Base/internal/Assert.h"
#include "Base/internal/ByteReader.h"
#include "Base/internal/NumberText.h"
#include "Base/internal/Text.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/CommentDepth.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/Strict.h"
#include "FileHandler/internal/Vocabulary.h"

namespace mbrk {

namespace {

using Text = std::unique_ptr<char[]>;

inline ByteClass ClassAt(const char* p) { return ClassOf(ByteOf(*p)); }

}  // namespace

char* FileTools::DuplicateString(const char* text) {
  MBRK_ASSERT(text != nullptr);
  return CopyText(text);
}

// ---- Tokens ------------------------------------------------------------------------

char* FileTools::GetToken(std::istream& in) {
  ByteReader bytes(in);
  // A loop rather than a call per comment: any number of comments in a row
  // costs no stack.
  for (;;) {
    int c = bytes.Next();
    while (IsSeparator(c)) {
      if (c > 127) CheckNonAscii(in);
      c = bytes.Next();
    }
    if (c == kEndOfInput) return NewText("", 0);
    if (IsWordByte(c)) return ReadWord(in, c);

    const int d = bytes.Peek();
    if (c == '/' && d == '*') {
      bytes.Skip();
      SkipComment(in);
      continue;
    }
    if (c == '[' && d == '~') {
      bytes.Skip();
      return NewText("[~", 2);
    }
    const char special = static_cast<char>(c);
    return NewText(&special, 1);
  }
}

// Words are collected in the work buffer and copied out once. A word that
// outgrows the buffer moves to a heap buffer that doubles as needed and is
// handed over as it is, so no word is cut and none is written past an end.
char* FileTools::ReadWord(std::istream& in, int first) {
  ByteReader bytes(in);
  char* out = MbrStrBuffer;
  std::size_t limit = kBufferSize;  // characters `out` may take
  Text heap;
  std::size_t length = 0;
  out[length++] = static_cast<char>(first);

  int c = bytes.Peek();
  while (IsWordByte(c)) {
    if (length == limit) {
      const std::size_t capacity = 2 * (limit + 1);
      Text bigger(new char[capacity]);
      std::memcpy(bigger.get(), out, length);
      heap = std::move(bigger);
      out = heap.get();
      limit = capacity - 1;  // one place kept for the terminator
    }
    out[length++] = static_cast<char>(c);
    c = bytes.SkipAndPeek();
  }
  // A separator belongs to no token; a special character begins the next one.
  if (IsSeparator(c)) {
    bytes.Skip();
    if (c > 127) CheckNonAscii(in);
  }

  if (heap == nullptr) return NewText(out, length);
  out[length] = '\0';
  return heap.release();
}

void FileTools::SkipComment(std::istream& in) {
  ByteReader bytes(in);
  CommentDepth comment;
  for (;;) {
    const int c = bytes.Next();
    if (c == kEndOfInput) Fail(in, "Unexpected end of file during comment");
    if (comment.Closes(c)) return;
  }
}

// ---- Numbers ---------------------------------------------------------------------

std::int32_t FileTools::TokenToInteger(std::istream& in, const char* text) {
  MBRK_ASSERT(text != nullptr);
  std::int32_t value = 0;
  const std::size_t length = std::strlen(text);
  if (!ConvertInteger(text, length, &value) || (IsStrict(in) && !WhollyInteger(text, length))) {
    Fail(in, "integer-expected");
  }
  return value;
}

double FileTools::TokenToNumber(std::istream& in, const char* text) {
  MBRK_ASSERT(text != nullptr);
  double value = 0.0;
  if (!ConvertNumber(text, &value) || (IsStrict(in) && !WhollyNumber(text, std::strlen(text)))) {
    Fail(in, "number-expected");
  }
  return value;
}

// ---- Scans between tokens --------------------------------------------------------

namespace {

// Consumes the separators at `c`, the byte `bytes` holds next, and returns
// the first other byte, left in the stream.
int SkipSeparators(std::istream& in, ByteReader& bytes, int c) {
  while (IsSeparator(c)) {
    const int separator = c;
    c = bytes.SkipAndPeek();
    if (separator > 127) CheckNonAscii(in);
  }
  return c;
}

}  // namespace

int PeekPastSeparators(std::istream& in) {
  ByteReader bytes(in);
  return SkipSeparators(in, bytes, bytes.Peek());
}

int PeekPastComments(std::istream& in) {
  ByteReader bytes(in);
  for (;;) {
    const int c = SkipSeparators(in, bytes, bytes.Peek());
    if (c != '/' || bytes.PeekAfterNext() != '*') return c;
    bytes.Skip();  // the "/"; the "*" after it is the comment's first character
    FileTools::SkipComment(in);
  }
}

namespace {

// A byte 0..255, letters in upper case.
int Upper(int c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// Whether a format version element may begin at the "[" that `sb` holds
// next, as far as the buffered bytes show its name. Where they end too soon,
// or a comment may stand before the name, the question stays open: true.
bool MayBeFormatVersion(std::streambuf* sb) {
  const char* p = GetArea::Next(sb) + 1;
  const char* const end = GetArea::End(sb);
  while (p < end && ClassAt(p) == ByteClass::kSeparator) ++p;
  if (p < end && *p == '/') return true;
  for (const char* n = vocabulary::kFormatVersionName; *n != '\0'; ++n, ++p) {
    if (p >= end) return true;
    const int c = ByteOf(*p);
    if (Upper(c) != Upper(ByteOf(*n))) return false;
  }
  return p >= end || ClassAt(p) != ByteClass::kWord;
}

// Reads the rest of a format version element, "[" read, as far as it goes
// the way one does: name, "=", a value, "]". True when it did.
bool SkipFormatVersion(FileTools& tools, std::istream& in) {
  const Text tag(tools.GetToken(in));
  if (strcasecmp(tag.get(), vocabulary::kFormatVersionName) != 0) return false;
  const Text equals(tools.GetToken(in));
  if (std::strcmp(equals.get(), "=") != 0) return false;
  const Text value(tools.GetToken(in));
  if (value[0] == '\0' || IsSpecial(ByteOf(value[0]))) return false;
  const Text close(tools.GetToken(in));
  return std::strcmp(close.get(), "]") == 0;
}

}  // namespace

// Nothing but the name and the "]" after it tell "[~Data]" from a label list
// whose first label begins with "~", and nothing but what follows tells a
// format version element from a list holding the label FormatVersion: the
// stream goes back to the first "[" after reading them. Only a "[~" or a
// bracket followed by that name costs the detour.
bool EndTagAhead(FileTools& tools, std::istream& in, const char* name) {
  if (PeekPastComments(in) != '[') return false;
  std::streambuf* const sb = in.rdbuf();
  if (ByteReader(in).PeekAfterNext() != '~' && !MayBeFormatVersion(sb)) return false;

  const std::streamoff at = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  bool end = false;
  for (;;) {
    const Text opening(tools.GetToken(in));
    if (std::strcmp(opening.get(), "[~") == 0) {
      const Text tag(tools.GetToken(in));
      const Text close(tools.GetToken(in));
      end = strcasecmp(tag.get(), name) == 0 && std::strcmp(close.get(), "]") == 0;
      break;
    }
    if (!SkipFormatVersion(tools, in) || PeekPastComments(in) != '[') break;
  }
  in.clear();
  if (at < 0 || std::streamoff(sb->pubseekoff(at, std::ios::beg, std::ios::in)) < 0) {
    Fail(in, "Unable to seek in file");
  }
  return end;
}

// Reads what GetToken, ReadElement and ExpectNumber would read, in the one case
// that fills data blocks: separators, then a word that ends before the buffered
// bytes do. Such a word is always a bare token (no element begins with a word
// byte), so its value is TokenToNumber's, found by the same conversion on the
// same bytes; only the copies are left out. Everything else goes back to the
// caller untouched but for the separators, which GetToken would skip all the
// same.
bool ReadNumberWord(std::istream& in, double* value) {
  ByteReader bytes(in);
  std::streambuf* const sb = bytes.buffer();
  if (sb == nullptr) return false;
  const char* p = GetArea::Next(sb);
  const char* end = GetArea::End(sb);
  // Read strictly, a byte above 127 is left to GetToken, which refuses it.
  const auto refused = [&in](const char* q) { return ByteOf(*q) > 127 && IsStrict(in); };
  for (;;) {
    while (p != end && ClassAt(p) == ByteClass::kSeparator && !refused(p)) ++p;
    if (p != end) break;
    // Separators up to the end of the buffered bytes: fetch more.
    if (p != nullptr) GetArea::MoveTo(sb, p);
    if (bytes.Peek() == kEndOfInput) return false;  // GetToken reports the end
    p = GetArea::Next(sb);
    end = GetArea::End(sb);
    if (p == end) return false;  // a buffer that hands out bytes one by one
  }
  const char* const word = p;
  if (ClassAt(p) != ByteClass::kWord) {
    // Not a word, or a byte refused.
    GetArea::MoveTo(sb, word);
    return false;
  }
  double number = 0.0;
  const char* const decimal_end = ScanShortDecimal(p, end, &number);
  if (decimal_end != nullptr) p = decimal_end;
  while (p != end && ClassAt(p) == ByteClass::kWord) ++p;
  if (p == end) {
    // The word may go on beyond what is buffered.
    GetArea::MoveTo(sb, word);
    return false;
  }
  // As GetToken: the separator that ends a word is consumed, a special
  // character is left to begin the next token.
  const bool separated = ClassAt(p) == ByteClass::kSeparator;
  if (separated && refused(p)) {
    GetArea::MoveTo(sb, word);
    return false;
  }
  GetArea::MoveTo(sb, separated ? p + 1 : p);
  if (decimal_end != p) {
    const auto length = static_cast<std::size_t>(p - word);
    if (!ConvertNumber(word, length, &number) || (IsStrict(in) && !WhollyNumber(word, length))) {
      Fail(in, "number-expected");
    }
  }
  *value = number;
  return true;
}

}  // namespace mbrk
