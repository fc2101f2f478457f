#include "FileHandler/ParseTools.h"

#include <cfloat>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>

#include "DataObject/Assert.h"

namespace mbrk {

namespace {

using Text = std::unique_ptr<char[]>;

constexpr int kEof = std::char_traits<char>::eof();

// ---- Character classes -------------------------------------------------------

enum : unsigned char { kWord = 0, kSeparator = 1, kSpecial = 2 };

struct ClassTable {
  unsigned char of[256];
};

// One lookup per character on the hot paths; built from the same predicates
// the header publishes, so the two can never disagree.
constexpr ClassTable MakeClassTable() {
  ClassTable table{};
  for (int c = 0; c < 256; ++c) {
    const auto u = static_cast<unsigned char>(c);
    table.of[c] = FileTools::IsSeparator(u) ? kSeparator
                  : FileTools::IsSpecial(u) ? kSpecial
                                            : kWord;
  }
  return table;
}

constexpr ClassTable kClass = MakeClassTable();

// `c` is a character as the stream buffer delivers it (0..255) or kEof.
inline bool IsWordChar(int c) { return c != kEof && kClass.of[c] == kWord; }
inline bool IsSeparatorChar(int c) { return c != kEof && kClass.of[c] == kSeparator; }

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// White space as the C library's scanf skips it in the "C" locale.
inline bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline unsigned char Upper(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// ---- Stream access -------------------------------------------------------------

// Characters come straight from the stream buffer: a sentry per character
// would cost more than the rest of the reader. A stream that is not good has
// nothing more to give, which is how an unformatted get treats it too.
inline std::streambuf* Source(std::istream& in) {
  return in.good() ? in.rdbuf() : nullptr;
}

// Callers that test the stream afterwards see the end as they would after a get.
inline void MarkEnd(std::istream& in) { in.setstate(std::ios_base::eofbit); }

// The characters a stream buffer holds, read in place. The get area's
// pointers are protected members of std::streambuf; a pointer to member formed
// through a derived class reaches them in any stream buffer. Moving the read
// position inside the get area is what sbumpc does for every character it
// hands out, so the buffer cannot tell the difference.
class GetArea : public std::streambuf {
 public:
  static const char* Next(std::streambuf* sb) { return (sb->*&GetArea::gptr)(); }
  static const char* End(std::streambuf* sb) { return (sb->*&GetArea::egptr)(); }
  // Consumes everything before `next`, a place in [Next(sb), End(sb)].
  static void MoveTo(std::streambuf* sb, const char* next) {
    char* const begin = (sb->*&GetArea::eback)();
    char* const end = (sb->*&GetArea::egptr)();
    (sb->*&GetArea::setg)(begin, begin + (next - begin), end);
  }
};

// Skips separators and returns the next other character, left in the stream,
// or kEof when the input ends. Comments are not recognised here.
int PeekPastSeparators(std::istream& in) {
  std::streambuf* const sb = Source(in);
  if (sb == nullptr) return kEof;
  int c = sb->sgetc();
  while (IsSeparatorChar(c)) c = sb->snextc();
  if (c == kEof) MarkEnd(in);
  return c;
}

// Consumes a "]" that follows after separators; true when there was one.
bool ConsumeClosingBracket(std::istream& in) {
  if (PeekPastSeparators(in) != ']') return false;
  in.rdbuf()->sbumpc();
  return true;
}

// ---- Texts and errors ------------------------------------------------------------

char* NewText(const char* bytes, std::size_t length) {
  char* text = new char[length + 1];
  std::memcpy(text, bytes, length);
  text[length] = '\0';
  return text;
}

inline bool Equals(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

[[noreturn]] void Fail(std::istream& in, const char* message) {
  throw FileTools::Error{FileTools::DuplicateString(message), &in, 0};
}

// Messages are composed at their full length: a long name is still named
// whole, and nothing is cut off in the middle of it.
[[noreturn]] void Fail(std::istream& in, const std::string& message) {
  Fail(in, message.c_str());
}

// ---- Numbers ---------------------------------------------------------------------

// The conversion that defines which texts are numbers: "%f" must convert one
// value (its float is only a test), and strtod gives the value at double
// precision. `text` is NUL-terminated.
bool ConvertByCLibrary(const char* text, double* value) {
  float probe = 0.0F;
  if (std::sscanf(text, "%f", &probe) != 1) return false;
  *value = std::strtod(text, nullptr);
  return true;
}

// Exact powers of ten: every one up to 10^22 is a double.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Eight digits at a time where the bytes are laid out little end first: a
// test that all eight are digits and their value, with a few multiplications
// instead of eight dependent steps.
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kEightAtATime = true;
#else
constexpr bool kEightAtATime = false;
#endif

inline std::uint64_t LoadEight(const char* p) {
  std::uint64_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  return bytes;
}

// One byte per character, nonzero where the character is not a digit: a
// digit is 0x30..0x39, so its high half is 3 and adding 6 does not carry into
// the high half. Carries out of a byte that is not a digit can only disturb
// the bytes after it, and only the first such byte is looked at.
inline std::uint64_t NonDigits(std::uint64_t bytes) {
  return ((bytes & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL) |
         (((bytes + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL);
}

// The value of eight digit characters, the first the most significant.
inline std::uint32_t EightDigitsValue(std::uint64_t bytes) {
  bytes -= 0x3030303030303030ULL;
  bytes = bytes * 10 + (bytes >> 8);  // pairs of digits
  bytes = (((bytes & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
           (((bytes >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
          32;
  return static_cast<std::uint32_t>(bytes);
}

constexpr std::uint64_t kPowersOf10[] = {1,      10,      100,      1000,     10000,
                                         100000, 1000000, 10000000, 100000000};

// Appends the run of digits at `p` to `*digits` and returns its end. Past 19
// digits the integer wraps; callers count the digits and give up there.
inline const char* AccumulateDigits(const char* p, const char* end, std::uint64_t* digits) {
  std::uint64_t value = *digits;
  if (kEightAtATime) {
    // Eight characters at a time while eight are there: all digits, or the
    // digits before the first other character, taken in one step.
    while (end - p >= 8) {
      const std::uint64_t bytes = LoadEight(p);
      const std::uint64_t others = NonDigits(bytes);
      if (others == 0) {
        value = value * 100000000 + EightDigitsValue(bytes);
        p += 8;
        continue;
      }
      const int run = __builtin_ctzll(others) / 8;  // digits before the first other
      if (run > 0) {
        // The run moved to the end of the eight, with '0's in front of it.
        const std::uint64_t padded =
            (bytes << (8 * (8 - run))) | (0x3030303030303030ULL >> (8 * run));
        value = value * kPowersOf10[run] + EightDigitsValue(padded);
        p += run;
      }
      *digits = value;
      return p;
    }
  }
  for (; p != end && IsDigit(*p); ++p) value = value * 10 + static_cast<std::uint64_t>(*p - '0');
  *digits = value;
  return p;
}

// Reads the plain decimal grammar [+-]digits[.digits][(e|E)[+-]digits] (at
// least one mantissa digit) from `p` and returns where it ends, with the
// value in `value`; or null when the text does not follow the grammar or its
// value cannot be had exactly this way. The caller decides whether the text
// ends there.
//
// The value is exact: with at most 2^53 as the digits' integer and a power of
// ten up to 10^22, both operands are doubles without error and the one
// multiplication or division rounds correctly, as strtod and from_chars do
// (the nearest double, ties to even). Anything else is left to them.
#if defined(__GNUC__)
#define MBRK_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define MBRK_ALWAYS_INLINE inline
#endif

MBRK_ALWAYS_INLINE const char* ScanShortDecimal(const char* p, const char* end, double* value) {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  std::uint64_t digits = 0;  // the significant digits as an integer
  const char* const whole = p;
  while (p != end && *p == '0') ++p;  // leading zeros add nothing
  const char* significant_start = p;
  p = AccumulateDigits(p, end, &digits);
  std::ptrdiff_t significant = p - significant_start;
  bool any = p != whole;
  int scale = 0;  // value = digits * 10^scale
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    if (significant == 0) {
      while (p != end && *p == '0') ++p;
    }
    significant_start = p;
    p = AccumulateDigits(p, end, &digits);
    significant += p - significant_start;
    any = any || p != fraction;
    if (p - fraction > 400) return nullptr;  // keeps the scale small
    scale = -static_cast<int>(p - fraction);
  }
  if (!any || significant > 19) return nullptr;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negative_exponent = false;
    if (p != end && (*p == '+' || *p == '-')) {
      negative_exponent = *p == '-';
      ++p;
    }
    if (p == end || !IsDigit(*p)) return nullptr;
    int exponent = 0;
    for (; p != end && IsDigit(*p); ++p) {
      if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
    }
    scale += negative_exponent ? -exponent : exponent;
  }
  double result;
  if (digits == 0) {
    result = 0.0;
  } else {
    if (digits > (std::uint64_t{1} << 53) || scale < -22 || scale > 22) return nullptr;
    result = static_cast<double>(digits);
    result = scale < 0 ? result / kExactPowers[-scale] : result * kExactPowers[scale];
  }
  *value = negative ? -result : result;
  return p;
#else
  static_cast<void>(p);
  static_cast<void>(end);
  static_cast<void>(value);
  return nullptr;  // excess precision would round twice
#endif
}

// The common case of a data file, [+-]digits[.digits][(e|E)[+-]digits] with
// at least one mantissa digit and nothing else, converted without the C
// library. Every such text is one that "%f" accepts, and from_chars rounds
// correctly as strtod does, so the result is the same value. Returns false
// when it cannot decide (other forms, or a value from_chars reports out of
// range); the C library then decides.
bool ConvertPlainDecimal(const char* first, const char* last, double* value) {
  double fast = 0.0;
  if (ScanShortDecimal(first, last, &fast) == last) {
    *value = fast;
    return true;
  }
  const char* p = first;
  if (p != last && (*p == '+' || *p == '-')) ++p;
  const char* const integer = p;
  while (p != last && IsDigit(*p)) ++p;
  std::ptrdiff_t mantissa_digits = p - integer;
  if (p != last && *p == '.') {
    const char* const fraction = ++p;
    while (p != last && IsDigit(*p)) ++p;
    mantissa_digits += p - fraction;
  }
  if (mantissa_digits == 0) return false;
  if (p != last && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != last && (*p == '+' || *p == '-')) ++p;
    const char* const exponent = p;
    while (p != last && IsDigit(*p)) ++p;
    if (p == exponent) return false;
  }
  if (p != last) return false;

  // from_chars takes no "+".
  const char* const start = *first == '+' ? first + 1 : first;
  double result = 0.0;
  const std::from_chars_result r = std::from_chars(start, last, result);
  if (r.ec != std::errc() || r.ptr != last) return false;
  *value = result;
  return true;
}

// ---- Elements --------------------------------------------------------------------

TElement MakeElement(std::int32_t kind, Text name, Text value, bool open) {
  TElement element;
  element.MbrLngKind = kind;
  element.MbrStrName = name.release();
  element.MbrStrValue = value.release();
  element.MbrBlnOpen = open;
  return element;
}

// A name or value must be a word: the input may not end before it, and a
// special character cannot stand in its place.
void CheckItem(std::istream& in, const char* item) {
  if (item[0] == '\0') Fail(in, "Unexpected end of file");
  if (FileTools::IsSpecial(static_cast<unsigned char>(item[0]))) {
    Fail(in, "Unexpected special character");
  }
}

void CheckFormatVersion(std::istream& in, const char* value, bool closed) {
  if (!closed) Fail(in, "Illegal Format of FormatVersion");
  if (FileTools::TokenToNumber(in, value) > 1.0) Fail(in, "Illegal Format Version");
}

// The rest of an end tag after "[~". Releases `blockdef` once the tag is
// complete; on a throw it stays with the caller.
void ReadEndTag(FileTools& tools, char* blockdef, std::istream& in) {
  // Outside any block there is nothing an end tag could close.
  if (blockdef == nullptr) Fail(in, "Unexpected End Tag");
  const Text name(tools.GetToken(in));
  if (strcasecmp(name.get(), blockdef) != 0) Fail(in, "Unexpected End Tag");
  const Text close(tools.GetToken(in));
  if (!Equals(close.get(), "]")) Fail(in, "Expected ']'");
  delete[] blockdef;
}

// The texts of an element handed to a check, released when the check ends
// unless it hands one back.
struct TakenElement {
  explicit TakenElement(const TElement& element)
      : kind(element.MbrLngKind), name(element.MbrStrName), value(element.MbrStrValue) {}

  bool IsFieldNamed(const char* s) const {
    return kind == ekField && name != nullptr && strcasecmp(name.get(), s) == 0;
  }
  const char* ValueText() const { return value != nullptr ? value.get() : ""; }

  std::int32_t kind;
  Text name;
  Text value;
};

}  // namespace

// Folding on the fly gives the same order as comparing two upper-case copies,
// without allocating them.
int strcasecmp(const char* a, const char* b) noexcept {
  MBRK_ASSERT(a != nullptr && b != nullptr);
  for (;; ++a, ++b) {
    const unsigned char ca = Upper(*a);
    const unsigned char cb = Upper(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

char* FileTools::DuplicateString(const char* text) {
  MBRK_ASSERT(text != nullptr);
  return NewText(text, std::strlen(text));
}

// ---- Tokens ------------------------------------------------------------------------

char* FileTools::GetToken(std::istream& in) {
  std::streambuf* const sb = Source(in);
  if (sb == nullptr) return NewText("", 0);
  // A loop rather than a call per comment: any number of comments in a row
  // costs no stack.
  for (;;) {
    int c = sb->sbumpc();
    while (IsSeparatorChar(c)) c = sb->sbumpc();
    if (c == kEof) {
      MarkEnd(in);
      return NewText("", 0);
    }
    if (kClass.of[c] == kWord) return ReadWord(in, sb, c);

    const int d = sb->sgetc();
    if (d == kEof) {
      MarkEnd(in);
    } else if (c == '/' && d == '*') {
      sb->sbumpc();
      SkipComment(in);
      continue;
    } else if (c == '[' && d == '~') {
      sb->sbumpc();
      return NewText("[~", 2);
    }
    const char special = static_cast<char>(c);
    return NewText(&special, 1);
  }
}

// Words are collected in the work buffer and copied out once. A word that
// outgrows the buffer moves to a heap buffer that doubles as needed and is
// handed over as it is, so no word is cut and none is written past an end.
char* FileTools::ReadWord(std::istream& in, std::streambuf* sb, int first) {
  char* out = MbrStrBuffer;
  std::size_t limit = kBufferSize;  // characters `out` may take
  Text heap;
  std::size_t length = 0;
  out[length++] = static_cast<char>(first);

  int c = sb->sgetc();
  while (IsWordChar(c)) {
    if (length == limit) {
      const std::size_t capacity = 2 * (limit + 1);
      Text bigger(new char[capacity]);
      std::memcpy(bigger.get(), out, length);
      heap = std::move(bigger);
      out = heap.get();
      limit = capacity - 1;  // one place kept for the terminator
    }
    out[length++] = static_cast<char>(c);
    c = sb->snextc();
  }
  // A separator belongs to no token; a special character begins the next one.
  if (c == kEof) {
    MarkEnd(in);
  } else if (kClass.of[c] == kSeparator) {
    sb->sbumpc();
  }

  if (heap == nullptr) return NewText(out, length);
  out[length] = '\0';
  return heap.release();
}

// Counting the depth instead of recursing keeps a file of a million nested
// openings from exhausting the stack. When a nested comment closes, the
// enclosing one continues with the "*" of the nested opening as its previous
// character: a "/" right after the nested "*/" closes the enclosing comment.
void FileTools::SkipComment(std::istream& in) {
  std::streambuf* const sb = Source(in);
  std::uint64_t depth = 1;  // comments open, this one included
  int previous = ' ';
  for (;;) {
    const int c = sb != nullptr ? sb->sbumpc() : kEof;
    if (c == kEof) {
      if (sb != nullptr) MarkEnd(in);
      Fail(in, "Unexpected end of file during comment");
    }
    if (previous == '*' && c == '/') {
      if (--depth == 0) return;
      previous = '*';
    } else if (previous == '/' && c == '*') {
      ++depth;
      previous = ' ';
    } else {
      previous = c;
    }
  }
}

// "%ld" semantics, checked against 32 bits: a value that does not fit is
// rejected instead of wrapping or saturating.
bool FileTools::ConvertInteger(const char* text, std::size_t length,
                               std::int32_t* value) noexcept {
  const char* p = text;
  const char* const end = text + length;
  while (p != end && IsCSpace(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end || !IsDigit(*p)) return false;
  const std::uint64_t limit = negative ? 2147483648U : 2147483647U;
  std::uint64_t magnitude = 0;
  for (; p != end && IsDigit(*p); ++p) {
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(*p - '0');
    if (magnitude > limit) return false;
  }
  *value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                    : static_cast<std::int32_t>(magnitude);
  return true;
}

std::int32_t FileTools::TokenToInteger(std::istream& in, const char* text) {
  MBRK_ASSERT(text != nullptr);
  std::int32_t value = 0;
  if (!ConvertInteger(text, std::strlen(text), &value)) Fail(in, "integer-expected");
  return value;
}

bool FileTools::ConvertNumber(const char* text, std::size_t length, double* value) {
  if (ConvertPlainDecimal(text, text + length, value)) return true;
  const std::string terminated(text, length);
  return ConvertByCLibrary(terminated.c_str(), value);
}

double FileTools::TokenToNumber(std::istream& in, const char* text) {
  MBRK_ASSERT(text != nullptr);
  double value = 0.0;
  if (ConvertPlainDecimal(text, text + std::strlen(text), &value)) return value;
  if (!ConvertByCLibrary(text, &value)) Fail(in, "number-expected");
  return value;
}

// ---- Numbers of a data block ----------------------------------------------------------

// Reads what GetToken, ReadElement and ExpectNumber would read, in the one case
// that fills data blocks: separators, then a word that ends before the buffered
// characters do. Such a word is always a bare token (no element begins with a
// word character), so its value is TokenToNumber's, found by the same
// conversion on the same characters; only the copies are left out. Everything
// else goes back to the caller untouched but for the separators, which
// GetToken would skip all the same.
bool FileTools::ReadNumberWord(std::istream& in, double* value) {
  std::streambuf* const sb = Source(in);
  if (sb == nullptr) return false;
  const char* p = GetArea::Next(sb);
  const char* end = GetArea::End(sb);
  for (;;) {
    while (p != end && kClass.of[static_cast<unsigned char>(*p)] == kSeparator) ++p;
    if (p != end) break;
    // Separators up to the end of the buffered characters: fetch more.
    if (p != nullptr) GetArea::MoveTo(sb, p);
    if (sb->sgetc() == kEof) return false;  // GetToken meets the end and reports it
    p = GetArea::Next(sb);
    end = GetArea::End(sb);
    if (p == end) return false;  // a buffer that hands out characters one by one
  }
  const char* const word = p;
  if (kClass.of[static_cast<unsigned char>(*p)] != kWord) {
    GetArea::MoveTo(sb, word);
    return false;
  }
  double number = 0.0;
  const char* const decimal_end = ScanShortDecimal(p, end, &number);
  if (decimal_end != nullptr) p = decimal_end;
  while (p != end && kClass.of[static_cast<unsigned char>(*p)] == kWord) ++p;
  if (p == end) {
    // The word may go on beyond what is buffered.
    GetArea::MoveTo(sb, word);
    return false;
  }
  // As GetToken: the separator that ends a word is consumed, a special
  // character is left to begin the next token.
  const bool separated = kClass.of[static_cast<unsigned char>(*p)] == kSeparator;
  GetArea::MoveTo(sb, separated ? p + 1 : p);
  if (decimal_end != p && !ConvertNumber(word, static_cast<std::size_t>(p - word), &number)) {
    Fail(in, "number-expected");
  }
  *value = number;
  return true;
}

// ---- Elements ------------------------------------------------------------------------

TElement FileTools::ReadElement(char* blockdef, std::istream& in, bool nameFirst) {
  // Once more after every format version element, which is consumed here.
  for (;;) {
    Text token(GetToken(in));
    if (token[0] == '\0') {
      if (blockdef == nullptr) return TElement{};
      Fail(in, "Unexpected end of file");
    }
    // No element begins with "]"; reading on would misplace everything after.
    if (Equals(token.get(), "]")) Fail(in, "Unexpected ']'");

    if (nameFirst || Equals(token.get(), "[")) {
      Text name = nameFirst ? std::move(token) : Text(GetToken(in));
      CheckItem(in, name.get());
      const int c = PeekPastSeparators(in);
      if (c == ']') {
        in.rdbuf()->sbumpc();
        return MakeElement(ekStart, std::move(name), nullptr, false);
      }
      if (c != '=') return MakeElement(ekStart, std::move(name), nullptr, true);
      in.rdbuf()->sbumpc();

      Text value(GetToken(in));
      CheckItem(in, value.get());
      const bool closed = ConsumeClosingBracket(in);
      if (!nameFirst && strcasecmp(name.get(), "FORMATVERSION") == 0) {
        CheckFormatVersion(in, value.get(), closed);
        continue;
      }
      return MakeElement(ekField, std::move(name), std::move(value), !closed);
    }

    if (Equals(token.get(), "[~")) {
      ReadEndTag(*this, blockdef, in);
      return TElement{};
    }
    return MakeElement(ekToken, std::move(token), nullptr, false);
  }
}

char* FileTools::ExpectBlockStart(TElement element, std::istream& in, const char* name) {
  TakenElement taken(element);
  if (name != nullptr) {
    if (taken.kind == ekStart && taken.name != nullptr && strcasecmp(taken.name.get(), name) == 0) {
      return taken.name.release();
    }
    Fail(in, std::string("[") + name + "] expected");
  }
  if (taken.kind != ekStart) Fail(in, "start of block expected");
  return taken.name.release();
}

void FileTools::ExpectBlockEnd(TElement element, std::istream& in) {
  const TakenElement taken(element);
  if (taken.kind != ekEnd) Fail(in, "End Tag expected");
}

double FileTools::ExpectNumber(TElement element, std::istream& in) {
  const TakenElement taken(element);
  if (taken.kind != ekToken || taken.name == nullptr) Fail(in, "Token (number) expected");
  return TokenToNumber(in, taken.name.get());
}

std::int32_t FileTools::ExpectIntegerField(TElement element, std::istream& in, const char* s) {
  MBRK_ASSERT(s != nullptr);
  const TakenElement taken(element);
  if (!taken.IsFieldNamed(s)) Fail(in, std::string("[") + s + " = <integer>] expected");
  return TokenToInteger(in, taken.ValueText());
}

double FileTools::ExpectNumberField(TElement element, std::istream& in, const char* s) {
  MBRK_ASSERT(s != nullptr);
  const TakenElement taken(element);
  if (!taken.IsFieldNamed(s)) Fail(in, std::string("[") + s + " = <number>] expected");
  return TokenToNumber(in, taken.ValueText());
}

char* FileTools::ExpectStringField(TElement element, std::istream& in, const char* s,
                                   const char* expected) {
  MBRK_ASSERT(s != nullptr);
  TakenElement taken(element);
  if (!taken.IsFieldNamed(s)) {
    std::string message = std::string("[") + s + " = <string>] expected";
    if (taken.name != nullptr) message += taken.name.get();
    Fail(in, message);
  }
  if (expected == nullptr) {
    if (taken.value == nullptr) return DuplicateString("");
    return taken.value.release();
  }
  if (strcasecmp(taken.ValueText(), expected) != 0) {
    Fail(in, std::string("[") + s + " = " + expected + "] expected");
  }
  return nullptr;
}

// ---- Writing ----------------------------------------------------------------------

namespace {

inline void Put(std::ostream& out, const char* text, std::size_t length) {
  out.write(text, static_cast<std::streamsize>(length));
}

inline void Put(std::ostream& out, const char* text) { Put(out, text, std::strlen(text)); }

// The writing behind WriteElement, on texts the caller keeps. The building
// operations come here directly, so a label list or a header costs no copies
// of the texts it is made of.
void WriteItem(std::ostream& out, std::int32_t kind, const char* name, const char* value,
               bool bracket) {
  switch (kind) {
    case ekFormatVersion:
      MBRK_ASSERT(bracket);
      Put(out, "[FormatVersion = 1.0]");
      FileTools::WriteEndOfLine(out);
      FileTools::WriteEndOfLine(out);
      return;
    case ekEnd:
      if (name == nullptr) return;
      MBRK_ASSERT(bracket);
      Put(out, "[~", 2);
      Put(out, name);
      FileTools::WriteCloseBracket(out, bracket, true);
      return;
    case ekStart:
    case ekField:
      MBRK_ASSERT(name != nullptr);
      FileTools::WriteOpenBracket(out, bracket);
      Put(out, name);
      if (kind == ekField) {
        MBRK_ASSERT(value != nullptr);
        // [Rows = 12] in brackets, Scale=2 as an item.
        if (bracket) {
          Put(out, " = ", 3);
        } else {
          out.put('=');
        }
        Put(out, value);
      }
      FileTools::WriteCloseBracket(out, bracket, true);
      // The blank of the bare form stands where the "]" would be.
      if (!bracket) out.put(' ');
      return;
    case ekToken:
      MBRK_ASSERT(name != nullptr);
      Put(out, name);
      out.put(' ');
      return;
    default:
      MBRK_ASSERT(false);
  }
}

// "%.*f" in the "C" locale: to_chars is defined as printf's conversion there,
// and is independent of whatever locale the host program has set, which
// could otherwise turn the point into a comma that reads back as two numbers.
// No magnitude is cut short: the largest double has 309 integral digits.
std::string FixedText(double value, int precision) {
  if (precision < 0) precision = 6;  // printf's reading of a negative precision
  char small[64];
  std::to_chars_result done =
      std::to_chars(small, small + sizeof small, value, std::chars_format::fixed, precision);
  if (done.ec == std::errc()) return std::string(small, done.ptr);
  constexpr std::size_t kMostIntegralText = std::numeric_limits<double>::max_exponent10 + 8;
  std::string text(kMostIntegralText + static_cast<std::size_t>(precision), '\0');
  done = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed,
                       precision);
  MBRK_ASSERT(done.ec == std::errc());
  text.resize(static_cast<std::size_t>(done.ptr - text.data()));
  return text;
}

}  // namespace

void FileTools::WriteElement(TElement element, std::ostream& out, bool bracket) {
  // Taken over before anything is written, so that a stream that throws
  // leaks nothing.
  Text name;
  Text value;
  const bool owned = element.MbrLngKind == ekStart || element.MbrLngKind == ekField ||
                     element.MbrLngKind == ekEnd;
  if (owned) {
    name.reset(element.MbrStrName);
    value.reset(element.MbrStrValue);
  }
  WriteItem(out, element.MbrLngKind, element.MbrStrName, element.MbrStrValue, bracket);
}

void FileTools::WriteOpenBracket(std::ostream& out, bool bracket) {
  if (bracket) out.put('[');
}

void FileTools::WriteCloseBracket(std::ostream& out, bool bracket, bool endOfLine) {
  if (!bracket) return;
  out.put(']');
  if (endOfLine) WriteEndOfLine(out);
}

void FileTools::WriteFormatVersion(std::ostream& out) {
  WriteItem(out, ekFormatVersion, nullptr, nullptr, true);
}

void FileTools::WriteEndOfLine(std::ostream& out) {
  out.put('\n');
  out.flush();
}

void FileTools::WriteStartTag(std::ostream& out, const char* name, bool bracket) {
  WriteItem(out, ekStart, name, nullptr, bracket);
}

void FileTools::WriteEndTag(std::ostream& out, const char* name) {
  WriteItem(out, ekEnd, name, nullptr, true);
}

void FileTools::WriteStringField(std::ostream& out, const char* name, const char* value,
                                 bool bracket) {
  WriteItem(out, ekField, name, value, bracket);
}

void FileTools::WriteIntegerField(std::ostream& out, const char* name, std::int32_t value,
                                  bool bracket) {
  char text[16];  // "-2147483648" at most
  const std::to_chars_result done = std::to_chars(text, text + sizeof text - 1, value);
  MBRK_ASSERT(done.ec == std::errc());
  *done.ptr = '\0';
  WriteItem(out, ekField, name, text, bracket);
}

void FileTools::WriteNumberField(std::ostream& out, const char* name, double value, int precision,
                                 bool bracket) {
  const std::string text = FixedText(value, precision);
  WriteItem(out, ekField, name, text.c_str(), bracket);
}

}  // namespace mbrk
