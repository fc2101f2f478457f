// The lexical level of the bracketed format beneath FileTools' tokens: what
// each byte is, and the scans that readers make between tokens. Every reader
// of the format takes its bytes through ByteReader and classifies them here.
//
//   separator  below 33, above 126 (so 127..255), and ","
//   special    one of "[]/*=<>"
//   word       every other byte: "!".."~" except "," and the specials
#ifndef MBRK_FILEHANDLER_INTERNAL_LEXER_H
#define MBRK_FILEHANDLER_INTERNAL_LEXER_H

#include <cstddef>
#include <istream>

#include "Base/internal/ByteReader.h"
#include "Base/internal/Text.h"
#include "FileHandler/ParseTools.h"

namespace mbrk {

enum class ByteClass : unsigned char { kEnd, kSeparator, kSpecial, kWord };

namespace lexer {

struct ClassTable {
  ByteClass of[257];  // of[0]: kEndOfInput; of[b + 1]: byte b
};

constexpr ClassTable MakeClassTable() {
  ClassTable table{};
  table.of[0] = ByteClass::kEnd;
  for (int b = 0; b < 256; ++b) {
    const bool separator = b < 33 || b > 126 || b == ',';
    const bool special =
        b == '[' || b == ']' || b == '/' || b == '*' || b == '=' || b == '<' || b == '>';
    table.of[b + 1] = separator ? ByteClass::kSeparator
                      : special ? ByteClass::kSpecial
                                : ByteClass::kWord;
  }
  return table;
}

inline constexpr ClassTable kClasses = MakeClassTable();

}  // namespace lexer

/// What `byte` is: a byte 0..255 (ByteOf for one held in memory) or
/// kEndOfInput, which is a class of its own. One lookup on the hot paths.
constexpr ByteClass ClassOf(int byte) noexcept { return lexer::kClasses.of[byte + 1]; }

constexpr bool IsSeparator(int byte) noexcept { return ClassOf(byte) == ByteClass::kSeparator; }
constexpr bool IsSpecial(int byte) noexcept { return ClassOf(byte) == ByteClass::kSpecial; }
constexpr bool IsWordByte(int byte) noexcept { return ClassOf(byte) == ByteClass::kWord; }
// A char would reach the table signed, 0xFF as the end of the input: widen it
// with ByteOf.
ByteClass ClassOf(char) = delete;
bool IsSeparator(char) = delete;
bool IsSpecial(char) = delete;
bool IsWordByte(char) = delete;

/// Whether the `length` bytes at `text` make one word of the format: at least
/// one byte, and word bytes only. A label name reads back as itself only then.
inline bool IsWord(const char* text, std::size_t length) noexcept {
  if (length == 0) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (!IsWordByte(ByteOf(text[i]))) return false;
  }
  return true;
}

/// Skips separators and returns the next other byte, left in the stream, or
/// kEndOfInput. Comments are not recognised.
int PeekPastSeparators(std::istream& in);

/// Skips separators and comments and returns the next other byte, left in the
/// stream, or kEndOfInput. This is the rule of the places around label lists:
/// a "/" directly followed by "*" opens a comment whose first character is
/// that "*", so "/*/" is a whole comment (where a token begins, "/*" is the
/// opening and "/*/" opens a comment that runs on). Throws Error "Unexpected
/// end of file during comment".
int PeekPastComments(std::istream& in);

/// Whether the end tag of the block `name` ("[~", the name ignoring case,
/// "]") comes next, after separators and comments as PeekPastComments skips
/// them, which are consumed, and after any format version elements
/// ("[FormatVersion = v]", as the element reader passes over them where it
/// reads the end tag). The stream is left where the next token begins either
/// way. Throws Error "Unable to seek in file" when it cannot go back.
bool EndTagAhead(FileTools& tools, std::istream& in, const char* name);

/// The common case of FileTools::ExpectNumber(ReadElement(block, in, false),
/// in), read straight from the bytes the stream buffer holds, with no
/// allocation: skips separators and, when a word follows and ends within the
/// buffered bytes, consumes it as GetToken would (with the separator that
/// ends it) and returns true with its value, or throws Error
/// "number-expected" exactly where ExpectNumber would. Returns false in every
/// other case (a special character, a comment, an end tag, the end of the
/// input, a word that may run on past the buffered bytes, a stream that is
/// not good), having consumed nothing but separators: the caller then reads
/// the element with ReadElement and ExpectNumber, with the same outcome as if
/// this had not been called.
bool ReadNumberWord(std::istream& in, double* value);

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_LEXER_H
