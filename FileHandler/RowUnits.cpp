// The units of a data block's rows read from bytes in memory: every rule
// here mirrors where the token, element and label list readers stop.
#include "FileHandler/internal/RowUnits.h"

#include <cstddef>
#include <cstdint>

#include "Base/internal/NumberText.h"
#include "FileHandler/internal/CommentDepth.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mbrk::row_units {

namespace {

// Whether the word [p, q) is a number as the readers take it ("%f" converts
// something from it): checked, not converted, where it begins with a digit or
// a point and a digit; the rare others are converted.
bool NumberWord(const char* p, const char* q) {
  const char* s = p + (*p == '+' || *p == '-' ? 1 : 0);
  // "0x" begins a hexadecimal number, which the C library refuses when no
  // digit of it follows.
  const bool hexadecimal = s + 1 < q && *s == '0' && (s[1] == 'x' || s[1] == 'X');
  if (s != q && IsDigit(*s) && !hexadecimal) return true;
  if (s + 1 < q && *s == '.' && IsDigit(s[1])) return true;
  double ignored;
  return ConvertNumber(p, static_cast<std::size_t>(q - p), &ignored);
}

// A comment at `p` ("/*", not "/*/", whose readings differ between tokens
// and before label lists), skipped as the token reader skips it.
Step ScanComment(const Bytes& b, std::size_t p) {
  if (p + 2 >= b.held) return b.Short();
  if (b[p + 1] != '*' || b[p + 2] == '/') return Step{Found::kForeign, 0};
  CommentDepth comment;
  for (std::size_t q = p + 2; q < b.held; ++q) {
    if (comment.Closes(b[q])) return Step{Found::kComment, q + 1};
  }
  return b.Short();
}

// A word at `p` standing for a number.
Step ScanNumber(const Bytes& b, std::size_t p) {
  const std::size_t q = b.SkipWord(p);
  if (q == b.held) return b.Short();
  if (!NumberWord(b.at + p, b.at + q)) return Step{Found::kForeign, 0};
  // The separator that ends a word is consumed with it; a special
  // character is left to begin what follows.
  if (b.Separator(q)) return Step{Found::kUnit, q + 1};
  if (b[q] == '[') return Step{Found::kUnit, q};
  if (b[q] == '/' && q + 1 < b.held && b[q + 1] == '*') return Step{Found::kUnit, q};
  return q + 1 < b.held ? Step{Found::kForeign, 0} : b.Short();
}

// One item of a label list at `q` (a word): its name, and "=" with a number
// after it or not. Sets `q` past it and `closed` when "]" closed the list.
Found ScanLabel(const Bytes& b, std::size_t& q, bool& closed) {
  q = b.SkipWord(q);
  if (q < b.held && b.Separator(q)) ++q;
  q = b.SkipSeparators(q);
  if (q == b.held) return Found::kShort;
  if (b[q] == '=') {
    q = b.SkipSeparators(q + 1);
    if (q == b.held) return Found::kShort;
    if (!b.Word(q)) return Found::kForeign;
    const std::size_t value = q;
    q = b.SkipWord(q);
    if (q == b.held) return Found::kShort;
    if (!NumberWord(b.at + value, b.at + q)) return Found::kForeign;
    if (b.Separator(q)) ++q;
    q = b.SkipSeparators(q);
    if (q == b.held) return Found::kShort;
  }
  closed = b[q] == ']';
  if (closed) ++q;
  return closed || b.Word(q) ? Found::kList : Found::kForeign;
}

bool IsFormatVersion(const char* name, std::size_t length) {
  static constexpr char kName[] = "FORMATVERSION";
  if (length != sizeof kName - 1) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const int c = ByteOf(name[i]);
    if ((c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) != kName[i]) return false;
  }
  return true;
}

// A label list at `p` ("["). A list that opens like an end tag or a format
// version element is left to the row reader, which tells them apart.
Step ScanList(const Bytes& b, std::size_t p) {
  std::size_t q = b.SkipSeparators(p + 1);
  if (q == b.held) return b.Short();
  if (b[p + 1] == '~') return Step{Found::kForeign, 0};
  if (b[q] == ']') return Step{Found::kList, q + 1};
  const std::size_t name_end = b.SkipWord(q);
  if (name_end == b.held) return b.Short();
  if (IsFormatVersion(b.at + q, name_end - q)) return Step{Found::kForeign, 0};
  for (bool closed = false; !closed;) {
    if (!b.Word(q)) return Step{Found::kForeign, 0};
    const Found found = ScanLabel(b, q, closed);
    if (found == Found::kShort) return b.Short();
    if (found == Found::kForeign) return Step{Found::kForeign, 0};
  }
  return Step{Found::kList, q};
}

// Bytes of 64 in a row, one bit each (bit i: byte i).
struct Masks {
  std::uint64_t separators;
  std::uint64_t digits;
  std::uint64_t leads;   // "+", "-", ".": may begin a number before a digit
  std::uint64_t others;  // "e", "E": within a number only
};

#if defined(__SSE2__)
std::uint64_t Bits(__m128i matches, int block) {
  return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(matches)) & 0xFFFFu)
         << (16 * block);
}

// Signed comparison: bytes 128..255 are below 33 too, and separators as well.
Masks MasksAt(const unsigned char* at) {
  Masks masks{0, 0, 0, 0};
  for (int block = 0; block < 4; ++block) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * block));
    const auto is = [&v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    masks.separators |= Bits(
        _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(33)), _mm_or_si128(is(127), is(','))), block);
    masks.digits |= Bits(_mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)),
                                       _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1))),
                         block);
    masks.leads |= Bits(_mm_or_si128(_mm_or_si128(is('+'), is('-')), is('.')), block);
    masks.others |= Bits(_mm_or_si128(is('e'), is('E')), block);
  }
  return masks;
}
#else
Masks MasksAt(const unsigned char* at) {
  Masks masks{0, 0, 0, 0};
  for (int i = 0; i < 64; ++i) {
    const int c = at[i];
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (IsSeparator(c)) masks.separators |= bit;
    if (IsDigit(c)) masks.digits |= bit;
    if (c == '+' || c == '-' || c == '.') masks.leads |= bit;
    if (c == 'e' || c == 'E') masks.others |= bit;
  }
  return masks;
}
#endif

int HighestBit(std::uint64_t bits) { return 63 - __builtin_clzll(bits); }

// The set bits of `bits`, without the library call that a build for the
// oldest processors makes of the builtin.
std::uint32_t CountBits(std::uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555ULL;
  bits = (bits & 0x3333333333333333ULL) + ((bits >> 2) & 0x3333333333333333ULL);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<std::uint32_t>((bits * 0x0101010101010101ULL) >> 56);
}

// One step of a plain run at `p`: the bytes up to and including the last
// separator of the 64 from `p` (short of `end`) that ends a plain number and
// has only plain numbers before it. Empty (`length` 0) where there is none.
struct Block {
  std::size_t length;
  std::uint64_t starts;  // the numbers' first bytes, within `length`
  std::uint64_t separators;
};

Block StepAt(const unsigned char* at, std::size_t p, std::size_t end) {
  const Masks m = MasksAt(at + p);
  const std::uint64_t inside =
      end - p >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (end - p)) - 1;
  std::uint64_t separators = m.separators & inside;
  // Word starts: a byte that is not a separator after one (`p` itself is
  // where a unit begins).
  const std::uint64_t starts = ~m.separators & ((m.separators << 1) | 1);
  const std::uint64_t good_start = m.digits | (m.leads & (m.digits >> 1));
  const std::uint64_t bad =
      (~(m.separators | m.digits | m.leads | m.others)) | (starts & ~good_start);
  if ((bad & inside) != 0) separators &= (bad & (0 - bad)) - 1;  // those before the first
  if (separators == 0) return Block{0, 0, 0};
  const int last = HighestBit(separators);
  const std::uint64_t taken = last == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << last) - 1;
  return Block{static_cast<std::size_t>(last) + 1, starts & taken, m.separators};
}

}  // namespace

std::size_t PlainRun(const Bytes& b, std::size_t p, std::size_t end, std::uint32_t& count) {
  const auto* const at = reinterpret_cast<const unsigned char*>(b.at);
  count = 0;
  while (p < end) {
    const Block block = StepAt(at, p, end);
    if (block.length == 0) break;
    count += CountBits(block.starts);
    p += block.length;
  }
  return p;
}

// The same steps as PlainRun took, counted until the one that holds the word.
std::size_t AfterWord(const Bytes& b, std::size_t p, std::size_t end, std::uint32_t word) {
  const auto* const at = reinterpret_cast<const unsigned char*>(b.at);
  for (;;) {
    const Block block = StepAt(at, p, end);
    const std::uint32_t count = CountBits(block.starts);
    if (word < count) {
      std::uint64_t starts = block.starts;
      for (std::uint32_t w = 0; w < word; ++w) starts &= starts - 1;
      const std::uint64_t start = starts & (0 - starts);
      // The separator after the word: the lowest one above its start.
      const std::uint64_t after = block.separators & ~((start << 1) - 1);
      return p + static_cast<std::size_t>(__builtin_ctzll(after)) + 1;
    }
    word -= count;
    p += block.length;
  }
}

Step ScanUnit(const Bytes& b, std::size_t p) {
  if (b.Word(p)) return ScanNumber(b, p);
  if (b[p] == '[') return ScanList(b, p);
  if (b[p] == '/') return ScanComment(b, p);
  return Step{Found::kForeign, 0};
}

}  // namespace mbrk::row_units
