// Value texts that read back to the very double they were written from.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>

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

template <>
struct ManyDigits<16> {
  static constexpr int kCount = 16;
  static constexpr std::uint64_t kLow = 1000000000000000;
  static constexpr std::uint64_t kHigh = 10000000000000000;
  static void Write(std::uint64_t n, char* out) {
    NineDigits::WriteEight(static_cast<std::uint32_t>(n / 100000000), out);
    NineDigits::WriteEight(static_cast<std::uint32_t>(n % 100000000), out + 8);
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

// The value and half its spacing to the neighbouring doubles, both times
// 10^k, as fixed-point numbers with 64 fraction bits (each at most 2 units
// below the truth for the fifteen digits, 200 for the seventeen).
struct Scaled {
  Uint128 value = 0;
  Uint128 half_gap = 0;
};

enum class Fit { kYes, kNo, kUndecided };

// A margin well above the arithmetic's error.
constexpr std::uint64_t kMargin = 1024;

// Rounds the scaled value to the nearest integer (the N-digit text "%.Ng"
// writes) into `digits`, and tells whether that text lies strictly inside
// the interval of reals that read back as the value: within half a gap on
// either side, or a quarter gap below a power of two, whose lower neighbour
// is nearer. Undecided within the margin of a tie or of the interval's end.
Fit Round(const Scaled& scaled, bool power_of_two, std::uint64_t* digits) {
  constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
  const auto fraction = static_cast<std::uint64_t>(scaled.value);
  if (fraction >= kHalf - kMargin && fraction <= kHalf + kMargin) return Fit::kUndecided;
  const bool up = fraction > kHalf;
  *digits = static_cast<std::uint64_t>(scaled.value >> 64) + (up ? 1 : 0);
  const Uint128 distance = up ? (Uint128{1} << 64) - fraction : Uint128{fraction};
  const Uint128 limit = !up && power_of_two ? scaled.half_gap / 2 : scaled.half_gap;
  if (distance + kMargin < limit) return Fit::kYes;
  if (distance > limit + kMargin) return Fit::kNo;
  return Fit::kUndecided;
}

template <typename Digits>
std::size_t Lay(std::uint64_t digits, int exponent, char* out) {
  if (digits == Digits::kHigh) {  // rounded up to the next power of ten
    digits = Digits::kLow;
    ++exponent;
  }
  char text[kScratch];
  const std::size_t length = LayOut<Digits>(digits, exponent, text);
  std::memcpy(out, text, kLongestText);  // a fixed size costs no call
  return length;
}

// The fast way for a finite, nonzero, positive value; false when the
// arithmetic cannot decide, and then nothing useful is in `out`.
bool FormatExactPositive(double value, char* out, std::size_t* length) {
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
  m <<= lead;
  q -= lead;

  int exponent = DecimalExponentOfPowerOf2(q + 63);
  Scaled scaled;
  if (!ScaleByPowerOf10(m, q, 14 - exponent, &scaled.value)) return false;
  if (static_cast<std::uint64_t>(scaled.value >> 64) >= FifteenDigits::kHigh) {
    ++exponent;
    if (!ScaleByPowerOf10(m, q, 14 - exponent, &scaled.value)) return false;
  }
  // Half a unit of the last place is 2^(lead - 1) units of m: the power of
  // ten itself, shifted (floored, as ScaleByPowerOf10 floors).
  const Power& power = kPowers[14 - exponent];
  const int shift = -(q + power.exponent + 64) - 64;
  scaled.half_gap = ((Uint128{power.high} << 64) | power.low) >> (64 + shift - (lead - 1));
  std::uint64_t digits = 0;
  Fit fit = Round(scaled, power_of_two, &digits);
  if (fit == Fit::kYes) {
    *length = Lay<FifteenDigits>(digits, exponent, out);
    return true;
  }
  // One digit more: both numbers times ten, their errors too, which the
  // margin allows for.
  scaled.value *= 10;
  scaled.half_gap *= 10;
  if (fit == Fit::kNo) fit = Round(scaled, power_of_two, &digits);
  if (fit == Fit::kYes) {
    *length = Lay<ManyDigits<16>>(digits, exponent, out);
    return true;
  }
  // Seventeen digits always read back.
  scaled.value *= 10;
  if (fit == Fit::kNo) fit = Round(scaled, power_of_two, &digits);
  if (fit == Fit::kUndecided) return false;
  *length = Lay<ManyDigits<17>>(digits, exponent, out);
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
  // Whole numbers below 10^15 are written in full, and read back.
  if (value > 0.0 && value < 1e15) {
    const auto whole = static_cast<std::uint64_t>(value);
    if (static_cast<double>(whole) == value) return FormatWhole(whole, buffer);
  }
#if defined(__SIZEOF_INT128__)
  if (value != 0.0) {
    const bool negative = value < 0;
    char* digits = buffer;
    if (negative) *digits++ = '-';
    std::size_t length = 0;
    if (FormatExactPositive(negative ? -value : value, digits, &length)) {
      return length + (negative ? 1 : 0);
    }
  }
#endif
  return FormatExactGeneral(value, buffer);
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
