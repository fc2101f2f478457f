// Reading and writing the bracketed text format: tokens, comments, number
// conversions, the element grammar and its checks, and the two string helpers
// the whole toolkit shares.
//
// Lexical rules (bytes taken as signed 8-bit values):
//   separator  below 33, above 126 (so 127..255), and ","
//   special    one of "[]/*=<>"
//   word       every other byte: "!".."~" except "," and the specials
// A token is the empty text (end of input), one special character, the two
// characters "[~", or a word. "/*" where a token begins opens a comment that
// runs to the matching "*/"; comments nest.
//
// Element grammar (separators allowed between any two parts):
//   [name]            start tag          ekStart
//   [~name]           end tag            ekEnd
//   [name = value]    field              ekField
//   [FormatVersion = n]  checked and skipped by ReadElement
//   any other token   bare token         ekToken
//   end of input      outside any block  ekEnd
#ifndef MBRK_FILEHANDLER_PARSETOOLS_H
#define MBRK_FILEHANDLER_PARSETOOLS_H

#include <cstdint>
#include <istream>
#include <ostream>

namespace mbrk {

/// Compares two NUL-terminated texts ignoring the case of "a".."z": both are
/// folded to upper case and compared byte by byte as unsigned values.
/// Returns -1, 0 or 1. Callers of the toolkit only test for 0.
int strcasecmp(const char* a, const char* b) noexcept;

/// Element kinds (`TElement::MbrLngKind`).
inline constexpr std::int32_t ekEnd = 0;
inline constexpr std::int32_t ekToken = 1;
inline constexpr std::int32_t ekStart = 2;
inline constexpr std::int32_t ekField = 3;
/// Used only when writing: ReadElement consumes format version elements.
inline constexpr std::int32_t ekFormatVersion = 5;

/// One element of the bracketed format, passed by value.
///
/// The texts are new[] arrays; an element returned by ReadElement hands them
/// to the caller, who releases them with delete[] or passes the element on to
/// one of the checks below, which take them over.
struct TElement {
  std::int32_t MbrLngKind = ekEnd;
  /// ekStart, ekField: the name; ekToken: the token's text; ekEnd: null.
  char* MbrStrName = nullptr;
  /// ekField: the value; otherwise null.
  char* MbrStrValue = nullptr;
  /// True when the name or value was not followed by "]": the character that
  /// followed it is left in the stream and read next.
  bool MbrBlnOpen = false;
};

/// The reader and writer of the bracketed text format. Its only state is the
/// work buffer in which words are collected, so one object serves any number
/// of jobs, one at a time.
///
/// Reading takes characters from the stream's buffer. The input ends when no
/// character can be had: at the end of the data (the stream then gets its
/// eofbit, as an unformatted get would set it), or when the stream is not
/// good() on entry (failed, bad, or already at its end).
class FileTools {
 public:
  /// A malformed input. Thrown by value by every reading operation.
  ///
  /// The record does not release its message: whoever catches it owns
  /// `MbrStrMessage` (a new[] array) and releases it with delete[]. Copies
  /// share the message. `MbrPtrStream` is the stream that was being read; the
  /// operations that open a file themselves (the dataset readers given a file
  /// name, the probe) close it before the error reaches the caller, so their
  /// errors carry a null stream rather than a destroyed one.
  struct Error {
    char* MbrStrMessage;         // what was wrong, a new[] array
    std::istream* MbrPtrStream;  // the stream being read, or null (see above); not owned
    std::int32_t MbrLngSpare;    // always 0
  };

  /// Size of the work buffer that words are collected in.
  static constexpr int kBufferSize = 1028;

  /// A new[] copy of `text` and its terminator, owned by the caller.
  static char* DuplicateString(const char* text);

  // ---- Tokens (lexical level) ----------------------------------------------

  /// The next token of `in` as a new[] array owned by the caller: the empty
  /// text at the end of the input, one special character, "[~", or a word.
  /// Separators before the token and comments where a token begins are
  /// skipped. A separator that ends a word is consumed; a special character
  /// that ends it is left for the next token. Words of any length are
  /// returned whole (the work buffer only holds the common short ones).
  /// Throws Error "Unexpected end of file during comment".
  char* GetToken(std::istream& in);

  /// Skips a comment whose opening "/*" has just been read, including any
  /// comments nested in it, and leaves `in` after its closing "*/". Nesting
  /// depth costs no stack. After a nested comment closes, the "*" of its
  /// opening counts as the previous character, so "*//" closes two levels.
  /// Throws Error "Unexpected end of file during comment".
  static void SkipComment(std::istream& in);

  /// The integer that "%ld" reads from `text` (leading white space and a
  /// sign allowed, stops at the first non-digit: "12xyz" is 12, "3.7" is 3).
  /// Throws Error "integer-expected" when no digits are read or the number
  /// does not fit 32 bits. `in` only goes into the error record.
  static std::int32_t TokenToInteger(std::istream& in, const char* text);

  /// The double value of `text`: accepted when "%f" converts a value from it,
  /// converted at double precision from the longest leading part that forms
  /// a number ("1.5abc" is 1.5, ".5" is 0.5; "inf", "nan" and hexadecimal
  /// forms as the C library reads them). Throws Error "number-expected"
  /// otherwise. `in` only goes into the error record.
  static double TokenToNumber(std::istream& in, const char* text);

  // ---- Elements (grammar level) --------------------------------------------

  /// Reads the next element. `blockdef` is the name of the block being read
  /// (a new[] array, e.g. from ExpectBlockStart) or null outside any block.
  /// With `nameFirst` the opening "[" has already been consumed and the first
  /// token is a name (items of a label list); format version elements are
  /// then not recognised and an end tag is not looked for.
  ///
  /// Returns ekEnd at the end of the input when `blockdef` is null, and ekEnd
  /// for the end tag of `blockdef`, which then releases `blockdef`; nothing
  /// else releases it. Format version elements are checked and skipped.
  ///
  /// Throws Error "Unexpected end of file", "Unexpected special character",
  /// "Illegal Format of FormatVersion", "Illegal Format Version",
  /// "number-expected", "Unexpected End Tag" (also for an end tag with no
  /// block open), "Expected ']'", "Unexpected ']'" (a "]" where an element
  /// begins), or "Unexpected end of file during comment".
  TElement ReadElement(char* blockdef, std::istream& in, bool nameFirst);

  // The checks test an element against what the caller's layout demands.
  // Each takes over the element's texts: the texts it does not return are
  // released, also when it throws. `in` only goes into the error record.
  // Composed messages hold the names in full, however long.

  /// The name of a start tag (new[], owned by the caller). With `name`, the
  /// tag's name must equal it ignoring case, else throws "[" name
  /// "] expected"; without, any start tag passes, else throws "start of block
  /// expected". An open start tag is accepted.
  static char* ExpectBlockStart(TElement element, std::istream& in, const char* name);

  /// Throws "End Tag expected" unless the element is ekEnd.
  static void ExpectBlockEnd(TElement element, std::istream& in);

  /// The number of a bare token. Throws "Token (number) expected" for any
  /// other element, "number-expected" for a token that is not a number.
  static double ExpectNumber(TElement element, std::istream& in);

  /// The integer value of the field named `s` (ignoring case). Throws
  /// "[" s " = <integer>] expected" for another element, "integer-expected"
  /// for a value that is not an integer.
  static std::int32_t ExpectIntegerField(TElement element, std::istream& in, const char* s);

  /// The number value of the field named `s` (ignoring case). Throws
  /// "[" s " = <number>] expected" for another element, "number-expected"
  /// for a value that is not a number.
  static double ExpectNumberField(TElement element, std::istream& in, const char* s);

  /// The field named `s` (ignoring case). Without `expected`, returns its
  /// value (new[], owned by the caller); with it, the value must equal
  /// `expected` ignoring case and null is returned. Throws "[" s
  /// " = <string>] expected" followed directly by the name of the element
  /// found (when it has one), or "[" s " = " expected "] expected".
  static char* ExpectStringField(TElement element, std::istream& in, const char* s,
                                 const char* expected);

  // ---- Writing ---------------------------------------------------------------
  //
  // Everything written here reads back through ReadElement. An element is
  // written in one of two forms:
  //   bracket form  in its own brackets, ending its line: [Rows = 12]
  //   bare form     an item inside brackets that the caller opens and closes,
  //                 without brackets and followed by one blank ("Scale=2 ")
  // An end of line is "\n" followed by a flush. Nothing is indented. Texts go
  // out byte for byte, whatever width or flags the stream has set. The stream
  // is not checked here: whoever opened it checks it.
  //
  // A kind or form that cannot be written (below) is a bug in the caller and
  // fails an assertion; what is written is never checked against the lexical
  // rules, so names and values must be words for the file to read back.

  /// Writes `element` and takes over its texts: the name and value of ekStart,
  /// ekField and ekEnd elements are released once written (also when the
  /// stream throws); an ekToken's name stays the caller's.
  ///   kind             bracket form                 bare form
  ///   ekFormatVersion  "[FormatVersion = 1.0]" and  not allowed
  ///                    an empty line
  ///   ekEnd            "[~" N "]" end of line;      nothing without a name,
  ///                    nothing without a name       else not allowed
  ///   ekStart          "[" N "]" end of line        N " "
  ///   ekField          "[" N " = " V "]" end of     N "=" V " "
  ///                    line
  ///   ekToken          N " "                        N " "
  static void WriteElement(TElement element, std::ostream& out, bool bracket);

  /// "[" in bracket form; nothing in bare form.
  static void WriteOpenBracket(std::ostream& out, bool bracket);
  /// In bracket form "]", then an end of line when `endOfLine` is set;
  /// nothing in bare form.
  static void WriteCloseBracket(std::ostream& out, bool bracket, bool endOfLine);
  /// "[FormatVersion = 1.0]" and an empty line: the highest version the
  /// reader accepts.
  static void WriteFormatVersion(std::ostream& out);
  static void WriteEndOfLine(std::ostream& out);

  // The building operations write the element their arguments describe. The
  // caller keeps its texts.

  static void WriteStartTag(std::ostream& out, const char* name, bool bracket);
  /// Bracket form; a null `name` writes nothing.
  static void WriteEndTag(std::ostream& out, const char* name);
  static void WriteStringField(std::ostream& out, const char* name, const char* value,
                               bool bracket);
  /// The value as "%ld" writes it.
  static void WriteIntegerField(std::ostream& out, const char* name, std::int32_t value,
                                bool bracket);
  /// The value as "%.*f" writes it in the "C" locale at `precision` (a
  /// negative precision counts as 6): fixed-point, no exponent, every digit of
  /// the integral part, however large; "inf", "-inf", "nan" or "-nan" when
  /// not finite.
  static void WriteNumberField(std::ostream& out, const char* name, double value, int precision,
                               bool bracket);

 private:
  char* ReadWord(std::istream& in, int first);

  char MbrStrBuffer[kBufferSize] = {};
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_PARSETOOLS_H
