// Value texts that read back to the very double they were written from.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Base/internal/DecimalDigits.h"
#include "Base/internal/NumberText.h"

namespace mbrk {

namespace {

using namespace decimal;

// Scratch for a text and what LayOut writes after it.
constexpr std::size_t kScratch = 48;
// The longest text of up to seventeen digits, sign aside:
// "1.2345678901234567e-308".
constexpr std::size_t kLongestText = 23;

// Whether the `length` characters at `text` read back, correctly rounded, as
// the readers convert them, to `value` itself: the same bits, or for a NaN
// another NaN of the same sign (a text keeps no payload).
bool ReadsBack(const char* text, std::size_t length, double value) {
  const char* first = text;
  const char* const last = text + length;
  double back = 0.0;
  const std::from_chars_result done = std::from_chars(first, last, back);
  if (done.ec != std::errc() || done.ptr != last) return false;
  return SameDouble(back, value);
}

// The slow way, always right: the first of "%.15g", "%.16g" and "%.17g"
// that reads back. Seventeen digits always do.
std::size_t FormatExactGeneral(double value, char* buffer) noexcept {
  char text[kScratch];
  std::size_t length = 0;
  for (int digits : {15, 16, 17}) {
    const std::to_chars_result done =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
    length = static_cast<std::size_t>(done.ptr - text);
    if (digits == 17 || ReadsBack(text, length, value)) break;
  }
  std::memcpy(buffer, text, length);
  return length;
}

#if defined(__SIZEOF_INT128__)

template <int N>
struct ManyDigits;

// The eight digits of n < 10^8 as the bytes of a word, the first lowest.
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
inline std::uint64_t EightDigitsWord(std::uint32_t n) {
  const auto pair = [](std::uint32_t k) {
    std::uint16_t two;
    std::memcpy(&two, kDigitPairs + 2 * k, sizeof two);
    return std::uint64_t{two};
  };
  const std::uint32_t high = n / 10000;
  const std::uint32_t low = n % 10000;
  return pair(high / 100) | pair(high % 100) << 16 | pair(low / 100) << 32 | pair(low % 100) << 48;
}
#endif

// The sixteen digits of n < 10^16 stored at once: Significant and LayOut
// read them back as eight and sixteen bytes, which the processor forwards
// from one store, where loads across the pair stores of
// NineDigits::WriteEight wait for all of them to reach the cache.
inline void WriteSixteenAtOnce(std::uint64_t n, char* out) {
  const auto high = static_cast<std::uint32_t>(n / 100000000);
  const auto low = static_cast<std::uint32_t>(n % 100000000);
#if defined(__SSE2__) && defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  const __m128i both = _mm_set_epi64x(static_cast<long long>(EightDigitsWord(low)),
                                      static_cast<long long>(EightDigitsWord(high)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), both);
#else
  NineDigits::WriteEight(high, out);
  NineDigits::WriteEight(low, out + 8);
#endif
}

template <>
struct ManyDigits<16> {
  static constexpr int kCount = 16;
  static constexpr std::uint64_t kLow = 1000000000000000;
  static constexpr std::uint64_t kHigh = 10000000000000000;
  static void Write(std::uint64_t n, char* out) {
    WriteSixteenAtOnce(n, out);
    std::memset(out + 16, '0', 16);
  }
  static int Significant(const char* digits) {
    const int count = NineDigits::LastNonzero(digits + 8, 8);
    return count > 8 ? count : NineDigits::LastNonzero(digits, 0);
  }
};

template <>
struct ManyDigits<17> {
  static constexpr int kCount = 17;
  static constexpr std::uint64_t kLow = 10000000000000000;
  static constexpr std::uint64_t kHigh = 100000000000000000;
  static void Write(std::uint64_t n, char* out) {
    out[0] = static_cast<char>('0' + n / kLow);
    ManyDigits<16>::Write(n % kLow, out + 1);
    out[33] = '0';
  }
  static int Significant(const char* digits) {
    const int count = NineDigits::LastNonzero(digits + 9, 9);
    return count > 9 ? count : NineDigits::LastNonzero(digits + 1, 1);
  }
};

template <typename Digits>
std::size_t Lay(std::uint64_t digits, int exponent, char* out) {
  if (digits == Digits::kHigh) {  // rounded up to the next power of ten
    digits = Digits::kLow;
    ++exponent;
  }
  // LayOut writes up to 2 N characters, but no more than N + 6 in exponent
  // form or after "0.000", and exponent + 1 + N in positional notation.
  // Where that fits the kMaxValueText - 1 of `out` (a sign may precede), it
  // writes there: a copy from scratch would load the text the moment after
  // storing it piecemeal, which the processor cannot forward and waits on.
  constexpr int kRoom = static_cast<int>(kMaxValueText) - 1;
  if (exponent < 0 || exponent + 1 + Digits::kCount <= kRoom) {
    return LayOut<Digits>(digits, exponent, out);
  }
  char text[kScratch];
  const std::size_t length = LayOut<Digits>(digits, exponent, text);
  std::memcpy(out, text, kLongestText);  // a fixed size costs no call
  return length;
}

// Where a scaled value lies in its cell of `cell` units (a cell: the span
// between two texts of the digits tried), as a fixed-point number with 32
// fraction bits, and half the spacing of the doubles there in the same
// units: the nearest text, and whether it reads back. Undecided within a
// margin far above the arithmetic's error (a few units of 2^-64).
enum class Fit { kYes, kNo, kUndecided };

constexpr std::uint64_t kMargin = 4;  // units of 2^-32

inline Fit Round(std::uint64_t at, std::uint64_t cell, std::uint64_t half_gap, bool power_of_two,
                 bool* up) {
  const std::uint64_t middle = cell / 2;
  if (at + kMargin >= middle && at <= middle + kMargin) return Fit::kUndecided;  // a tie
  *up = at > middle;
  const std::uint64_t distance = *up ? cell - at : at;
  // Below a power of two the neighbour is nearer: a quarter gap there.
  const std::uint64_t limit = !*up && power_of_two ? half_gap / 2 : half_gap;
  if (distance + kMargin < limit) return Fit::kYes;
  if (distance > limit + kMargin) return Fit::kNo;
  return Fit::kUndecided;
}

// The fast way for a finite, nonzero, positive value: the value to
// seventeen digits once, and from it the texts of fifteen and sixteen,
// each checked against the interval of reals that read back as the value.
// False when the arithmetic cannot decide, and then nothing useful is in
// `out`.
bool FormatExactPositive(double value, char* out, std::size_t* length) {
  const NormalBinary binary = Normalise(value);
  const std::uint64_t m = binary.m;
  const int q = binary.q;
  const int lead = binary.lead;
  const bool power_of_two = binary.power_of_two;
  int exponent;
  Uint128 scaled;
  if (!ScaleToDigits(m, q, 16, ManyDigits<17>::kHigh, &exponent, &scaled)) return false;
  // Half a unit of the last place is 2^(lead - 1) units of m: the power of
  // ten itself, shifted (floored, as ScaleByPowerOf10 floors). Below 11
  // units of the seventeenth digit for a normal value; a subnormal one,
  // with fewer bits, may have a gap wider than any cell, which is all that
  // matters of it.
  const Power& power = kPowers[16 - exponent];
  const int shift = -(q + power.exponent + 64) - 64;
  const Uint128 gap = ((Uint128{power.high} << 64) | power.low) >> (64 + shift - (lead - 1) + 32);
  constexpr std::uint64_t kWide = std::uint64_t{1} << 62;
  const std::uint64_t half_gap = gap > kWide ? kWide : static_cast<std::uint64_t>(gap);
  const auto whole = static_cast<std::uint64_t>(scaled >> 64);
  const std::uint64_t fraction = static_cast<std::uint64_t>(scaled) >> 32;
  constexpr std::uint64_t kUnit = std::uint64_t{1} << 32;
  bool up = false;
  Fit fit = Round((whole % 100) * kUnit + fraction, 100 * kUnit, half_gap, power_of_two, &up);
  if (fit == Fit::kYes) {
    *length = Lay<FifteenDigits>(whole / 100 + (up ? 1 : 0), exponent, out);
    return true;
  }
  if (fit == Fit::kNo) {
    fit = Round((whole % 10) * kUnit + fraction, 10 * kUnit, half_gap, power_of_two, &up);
  }
  if (fit == Fit::kYes) {
    *length = Lay<ManyDigits<16>>(whole / 10 + (up ? 1 : 0), exponent, out);
    return true;
  }
  // Seventeen digits always read back.
  if (fit == Fit::kNo) fit = Round(fraction, kUnit, 11 * kUnit, false, &up);
  if (fit == Fit::kUndecided) return false;
  *length = Lay<ManyDigits<17>>(whole + (up ? 1 : 0), exponent, out);
  return true;
}

#endif  // __SIZEOF_INT128__

}  // namespace

bool SameDouble(double a, double b) noexcept {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  }
  std::uint64_t a_bits;
  std::uint64_t b_bits;
  std::memcpy(&a_bits, &a, sizeof a_bits);
  std::memcpy(&b_bits, &b, sizeof b_bits);
  return a_bits == b_bits;
}

std::size_t FormatExact(double value, char* buffer) noexcept {
  if (!std::isfinite(value)) return FormatGeneral15(value, buffer);
#if defined(__SIZEOF_INT128__)
  const auto positive = [](double magnitude, char* out, std::size_t* length) {
    return FormatExactPositive(magnitude, out, length);
  };
#else
  const auto positive = [](double, char*, std::size_t*) { return false; };
#endif
  // Whole numbers below 10^15 are written in full, and read back.
  const std::size_t length = FormatFast(value, 1e15, buffer, positive);
  return length != 0 ? length : FormatExactGeneral(value, buffer);
}

void AppendExact(std::string& text, double value) {
  char digits[kMaxValueText];
  text.append(digits, FormatExact(value, digits));
}

void AppendExactLabelValue(std::string& text, double value) {
  const std::string fixed = FixedText(value, 9);
  if (!std::isfinite(value) || ReadsBack(fixed.data(), fixed.size(), value)) {
    text += fixed;
  } else {
    AppendExact(text, value);
  }
}

}  // namespace mbrk
