// Number texts: the number scanning rules of the C library's "%ld", "%f" and
// "%lf" conversions, and the value texts that the writers produce. Readers,
// writers and the message module all take their numbers from here, so a text
// reads and a value writes the same way everywhere.
//
// Scanning works on bytes in memory that need not be NUL-terminated; nothing
// here allocates but where it says so, and nothing reads past the bytes given.
#ifndef MBRK_BASE_INTERNAL_NUMBERTEXT_H
#define MBRK_BASE_INTERNAL_NUMBERTEXT_H

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace mbrk {

// ---- Characters -----------------------------------------------------------------

/// White space as the C library's scan functions skip it in the "C" locale.
constexpr bool IsCSpace(int byte) noexcept { return byte == ' ' || (byte >= '\t' && byte <= '\r'); }
constexpr bool IsDigit(int byte) noexcept { return byte >= '0' && byte <= '9'; }

// ---- Scanning -------------------------------------------------------------------

/// "%ld" on the `length` bytes at `text`, within 32 bits: leading white space
/// and a sign are skipped, digits are read up to the first other byte ("12xyz"
/// is 12, "3.7" is 3). Stores the value and returns true; returns false when
/// no digit follows or the value does not fit 32 bits (rather than wrapping
/// or saturating).
bool ConvertInteger(const char* text, std::size_t length, std::int32_t* value) noexcept;

/// The value of the number the bracketed format reads from the `length`
/// bytes at `text`: accepted when "%f" converts a value from them, converted
/// at double precision from the longest leading part that forms a number
/// ("1.5abc" is 1.5, ".5" is 0.5; "inf", "nan" and hexadecimal forms as the C
/// library reads them). Stores the value and returns true, or returns false.
/// Plain decimal texts are converted without allocating; others may allocate
/// a terminated copy.
bool ConvertNumber(const char* text, std::size_t length, double* value);
/// The same on a NUL-terminated text, which is never copied.
bool ConvertNumber(const char* text, double* value);

/// "%lf" on the NUL-terminated `text`: the longest leading part, after white
/// space, that strtod reads as a number. Stores it and returns true, or
/// returns false when no number begins the text.
bool ConvertLeadingNumber(const char* text, double* value);

/// The texts the flat writer gives non-finite values, "+INF", "-INF",
/// "+NAN" and "-NAN", at the start of [p, end): stores the value and returns
/// the end of the four characters, or returns null. What follows them is
/// the caller's to judge.
const char* ScanFlatSpecial(const char* p, const char* end, double* value) noexcept;

/// ScanShortDecimal, the common case of ConvertNumber for readers that
/// convert in place, is defined inline at the end of this header.

// ---- Value texts ----------------------------------------------------------------

/// The most characters FormatValue writes.
inline constexpr std::size_t kMaxValueText = 32;

/// Writes the text of `value` as the flat format wants it ("%.9g", or "+INF",
/// "-INF", "+NAN", "-NAN") into `buffer`, without terminator, and returns the
/// number of characters. `buffer` must hold kMaxValueText characters.
std::size_t FormatValue(double value, char* buffer) noexcept;

/// The most characters FormatInteger writes: "-2147483648".
inline constexpr std::size_t kMaxIntegerText = 11;

/// Writes `value` as "%ld" writes it (decimal, a minus sign for negatives)
/// into `buffer`, without terminator, and returns the number of characters.
/// `buffer` must hold kMaxIntegerText characters.
std::size_t FormatInteger(std::int32_t value, char* buffer) noexcept;

/// `value` as "%.*f" writes it in the "C" locale at `precision` (a negative
/// precision counts as 6): fixed-point, every digit of the integral part
/// however large; "inf", "-inf", "nan" or "-nan" when not finite.
std::string FixedText(double value, int precision);

/// Writes `value` as "%.15g" writes it ("inf", "-inf", "nan" or "-nan" when
/// not finite), except that a value whose fifteen digits would round past the
/// largest double (and read back as infinity) gets seventeen, into `buffer`,
/// without terminator, and returns the number of characters. `buffer` must
/// hold kMaxValueText characters.
std::size_t FormatGeneral15(double value, char* buffer) noexcept;
/// Appends the text FormatGeneral15 writes.
void AppendGeneral15(std::string& text, double value);

/// Writes `value` as the first of "%.15g", "%.16g" and "%.17g" that reads
/// back (correctly rounded) to the same double: the text FormatGeneral15
/// writes wherever that one does, else 16 digits where they do, else 17
/// (which always do). Non-finite values as FormatGeneral15
/// writes them ("inf", "-inf", "nan", "-nan"). Into `buffer`, without
/// terminator; returns the number of characters. `buffer` must hold
/// kMaxValueText characters.
std::size_t FormatExact(double value, char* buffer) noexcept;
/// Appends the text FormatExact writes.
void AppendExact(std::string& text, double value);
/// Appends a label's value: FixedText(value, 9) where that reads back to the
/// same double (and for non-finite values), else the text FormatExact writes.
void AppendExactLabelValue(std::string& text, double value);
/// Whether `a` and `b` have the same bits, or are both NaN of the same sign
/// (what a text can carry of a NaN).
bool SameDouble(double a, double b) noexcept;

// ---- The short decimal scanner ----------------------------------------------------
//
// Inline: the dataset reader runs it once per number, in place.

namespace number_text {

// Exact powers of ten: every one up to 10^22 is a double.
inline constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

inline constexpr std::uint64_t kPowersOf10[] = {1,      10,      100,      1000,     10000,
                                                100000, 1000000, 10000000, 100000000};

// Eight digits at a time where the bytes are laid out little end first: a
// test that all eight are digits and their value, with a few multiplications
// instead of eight dependent steps.
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
inline constexpr bool kEightAtATime = true;
#else
inline constexpr bool kEightAtATime = false;
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

}  // namespace number_text

#if defined(__GNUC__)
#define MBRK_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define MBRK_ALWAYS_INLINE inline
#endif

/// The common case of ConvertNumber, for readers that convert in place: reads
/// the plain decimal grammar [+-]digits[.digits][(e|E)[+-]digits] (at least
/// one mantissa digit) from [p, end) and returns where it ends, with the value
/// in `value`; or null when the text does not follow the grammar or its value
/// cannot be had exactly this way. The caller decides whether the text ends
/// there. Where it returns a value, ConvertNumber gives the same one.
//
// The value is exact: with at most 2^53 as the digits' integer and a power of
// ten up to 10^22, both operands are doubles without error and the one
// multiplication or division rounds correctly, as strtod and from_chars do
// (the nearest double, ties to even). Anything else is left to them.
MBRK_ALWAYS_INLINE const char* ScanShortDecimal(const char* p, const char* end, double* value) {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
  using number_text::AccumulateDigits;
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
    result = scale < 0 ? result / number_text::kExactPowers[-scale]
                       : result * number_text::kExactPowers[scale];
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

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_NUMBERTEXT_H
