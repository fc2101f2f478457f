// The pieces of the writers' decimal texts: the significant digits of a
// double found with 128-bit integer arithmetic and the table of powers of
// ten, and their layout as "%.Ng" writes it. Internal to Base: shared by the
// formatters of NumberFormat.cpp and ExactNumber.cpp.
#ifndef MBRK_BASE_INTERNAL_DECIMALDIGITS_H
#define MBRK_BASE_INTERNAL_DECIMALDIGITS_H

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "Base/internal/Assert.h"
#include "Base/internal/NumberText.h"
#include "Base/internal/PowersOfTen.h"

namespace mbrk::decimal {

// The exact general conversion: to_chars at a precision writes what "%.*g"
// writes, digit for digit, without the locale and format-string parsing of
// printf.
inline std::size_t FormatGeneral(double value, char* buffer, int precision) noexcept {
  const std::to_chars_result done =
      std::to_chars(buffer, buffer + kMaxValueText, value, std::chars_format::general, precision);
  MBRK_ASSERT(done.ec == std::errc());
  return static_cast<std::size_t>(done.ptr - buffer);
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline void WritePair(char* out, std::uint32_t pair) {
  std::memcpy(out, kDigitPairs + 2 * pair, 2);
}

// A whole number below 10^N has at most N digits, all of them exact: "%.Ng"
// writes it as the integer it is.
inline std::size_t FormatWhole(std::uint64_t n, char* out) {
  char digits[20];
  char* p = digits + sizeof digits;
  while (n >= 100) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (n % 100), 2);
    n /= 100;
  }
  if (n >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * n, 2);
  } else {
    *--p = static_cast<char>('0' + n);
  }
  const auto length = static_cast<std::size_t>(digits + sizeof digits - p);
  std::memcpy(out, p, length);
  return length;
}

// A finite value as the fast ways write it: a whole number below
// `whole_below` in full, else its sign and `positive(magnitude, out,
// &length)`, which says false where it cannot decide. 0 when neither writes
// it; the caller's slow conversion then does.
template <typename Positive>
inline std::size_t FormatFast(double value, double whole_below, char* buffer, Positive positive) {
  if (value > 0.0 && value < whole_below) {
    const auto whole = static_cast<std::uint64_t>(value);
    if (static_cast<double>(whole) == value) return FormatWhole(whole, buffer);
  }
  if (value == 0.0) return 0;
  const bool negative = value < 0;
  char* digits = buffer;
  if (negative) *digits++ = '-';
  std::size_t length = 0;
  if (!positive(negative ? -value : value, digits, &length)) return 0;
  return length + (negative ? 1 : 0);
}

#if defined(__SIZEOF_INT128__)

__extension__ typedef unsigned __int128 Uint128;

using powers::kPowers;
using powers::Power;

// floor(log10(2^b)), exact for |b| <= 1650: 78913 / 2^18 is log10(2) close
// enough that the product never crosses an integer it should not.
inline int DecimalExponentOfPowerOf2(int b) {
  if (b >= 0) return static_cast<int>((static_cast<std::uint32_t>(b) * 78913U) >> 18);
  // b log10(2) is never an integer for b != 0, so floor(-x) = -floor(x) - 1.
  return -static_cast<int>((static_cast<std::uint32_t>(-b) * 78913U) >> 18) - 1;
}

// A finite, positive value as m * 2^q with m normalised to 64 bits
// (2^63 <= m < 2^64); `lead` is the shift that normalised it, and
// `power_of_two` tells a normal value whose significand bits are all zero.
struct NormalBinary {
  std::uint64_t m;
  int q;
  int lead;
  bool power_of_two;
};

inline NormalBinary Normalise(double value) noexcept {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>(bits >> 52);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  const bool power_of_two = m == 0 && biased > 1;
  int q = -1074;  // subnormal
  if (biased != 0) {
    m |= std::uint64_t{1} << 52;
    q = biased - 1075;
  }
  const int lead = __builtin_clzll(m);
  return {m << lead, q - lead, lead, power_of_two};
}

// m * 2^q * 10^k as a fixed-point number with 64 fraction bits, at most 2
// units of the last place below the true product (never above). False when
// the product is outside the range the caller works in.
inline bool ScaleByPowerOf10(std::uint64_t m, int q, int k, Uint128* scaled) {
  const Power& power = kPowers[k];
  const Uint128 low = static_cast<Uint128>(m) * power.low;
  const Uint128 high = static_cast<Uint128>(m) * power.high;
  // The 192-bit product without its lowest 64 bits; dropping them first and
  // shifting after floors the same as shifting the whole product.
  const Uint128 top = high + (low >> 64);
  const int shift = -(q + power.exponent + 64) - 64;
  if (shift <= 0 || shift >= 64) return false;
  *scaled = top >> shift;
  return true;
}

// floor(log10(value)) into `exponent` and value * 10^(last - exponent) into
// `scaled` (see ScaleByPowerOf10), for value = m * 2^q normalised; `high` is
// 10^(last + 1), which the whole part stays below. False as
// ScaleByPowerOf10.
inline bool ScaleToDigits(std::uint64_t m, int q, int last, std::uint64_t high, int* exponent,
                          Uint128* scaled) {
  // floor(log10(value)) is this or one more, since 2^(q+63) <= value < 2^(q+64).
  *exponent = DecimalExponentOfPowerOf2(q + 63);
  if (!ScaleByPowerOf10(m, q, last - *exponent, scaled)) return false;
  if (static_cast<std::uint64_t>(*scaled >> 64) < high) return true;
  ++*exponent;
  return ScaleByPowerOf10(m, q, last - *exponent, scaled);
}

// The significant digits of the two texts the writers use: nine ("%.9g") and
// fifteen ("%.15g"). Write puts the digits of kLow <= n < kHigh, then zeros
// up to 2 kCount characters, so that fixed-size copies of kCount - 1
// characters can start at any of the digits; Significant tells how many of
// the digits are left once trailing zeros go.
struct NineDigits {
  static constexpr int kCount = 9;
  static constexpr std::uint64_t kLow = 100000000;
  static constexpr std::uint64_t kHigh = 1000000000;

  static void Write(std::uint64_t n, char* out) {
    const auto head = static_cast<std::uint32_t>(n / 100000000);
    const auto rest = static_cast<std::uint32_t>(n % 100000000);
    out[0] = static_cast<char>('0' + head);
    WriteEight(rest, out + 1);
    std::memset(out + 9, '0', 9);
  }
  static int Significant(const char* digits) { return LastNonzero(digits + 1, 1); }

  // The eight digits of n < 10^8, leading zeros included.
  static void WriteEight(std::uint32_t n, char* out) {
    const std::uint32_t high = n / 10000;
    const std::uint32_t low = n % 10000;
    WritePair(out, high / 100);
    WritePair(out + 2, high % 100);
    WritePair(out + 4, low / 100);
    WritePair(out + 6, low % 100);
  }
  // `before` plus the place, counted from 1, of the last byte other than '0'
  // among the eight at `p`; `before` when there is none. The highest nonzero
  // byte of their difference from "00000000", read little end first.
  static int LastNonzero(const char* p, int before) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    bytes ^= 0x3030303030303030ULL;
    if (bytes == 0) return before;
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return before + 8 - __builtin_clzll(bytes) / 8;
#else
    int count = 8;
    while (p[count - 1] == '0') --count;
    return before + count;
#endif
  }
};

struct FifteenDigits {
  static constexpr int kCount = 15;
  static constexpr std::uint64_t kLow = 100000000000000;
  static constexpr std::uint64_t kHigh = 1000000000000000;

  static void Write(std::uint64_t n, char* out) {
    // Seven digits, then eight.
    const auto head = static_cast<std::uint32_t>(n / 100000000);
    const auto rest = static_cast<std::uint32_t>(n % 100000000);
    out[0] = static_cast<char>('0' + head / 1000000);
    const std::uint32_t six = head % 1000000;
    WritePair(out + 1, six / 10000);
    WritePair(out + 3, six / 100 % 100);
    WritePair(out + 5, six % 100);
    NineDigits::WriteEight(rest, out + 7);
    std::memset(out + 15, '0', 15);
  }
  static int Significant(const char* digits) {
    const int count = NineDigits::LastNonzero(digits + 7, 7);
    return count > 8 ? count : NineDigits::LastNonzero(digits + 1, 1);
  }
};

// The text of d0.d1...d(N-1) x 10^exponent, the N digits those of
// kLow <= n < kHigh, as "%.Ng" lays it out: positional notation for
// -4 <= exponent < N, exponent form otherwise, trailing zeros and a trailing
// point dropped. Writes up to 2N + 1 characters into `out`, the text and
// scratch after it, and returns the text's length.
template <typename Digits>
inline std::size_t LayOut(std::uint64_t n, int exponent, char* out) {
  constexpr int kCount = Digits::kCount;
  char digits[2 * kCount];
  Digits::Write(n, digits);
  const int count = Digits::Significant(digits);
  if (exponent >= 0 && exponent < kCount) {
    // ddd.ddd: all the digits, then the fraction moved one place on for the point.
    const int whole = exponent + 1;
    std::memcpy(out, digits, kCount);
    if (count <= whole) return static_cast<std::size_t>(whole);
    out[whole] = '.';
    std::memcpy(out + whole + 1, digits + whole, kCount - 1);
    return static_cast<std::size_t>(count + 1);
  }
  if (exponent < 0 && exponent >= -4) {
    // 0.000ddd: "0." and -exponent-1 zeros, then the digits.
    std::memcpy(out, "0.000000", 8);
    const int zeros = -exponent - 1;
    std::memcpy(out + 2 + zeros, digits, kCount);
    return static_cast<std::size_t>(2 + zeros + count);
  }
  // d.ddde+XX
  out[0] = digits[0];
  out[1] = '.';
  std::memcpy(out + 2, digits + 1, kCount - 1);
  char* p = out + (count > 1 ? count + 1 : 1);
  *p++ = 'e';
  *p++ = exponent < 0 ? '-' : '+';
  const auto magnitude = static_cast<std::uint32_t>(exponent < 0 ? -exponent : exponent);
  if (magnitude >= 100) {
    *p++ = static_cast<char>('0' + magnitude / 100);
    WritePair(p, magnitude % 100);
  } else {
    WritePair(p, magnitude);
  }
  p += 2;
  return static_cast<std::size_t>(p - out);
}

#endif  // __SIZEOF_INT128__

}  // namespace mbrk::decimal

#endif  // MBRK_BASE_INTERNAL_DECIMALDIGITS_H
