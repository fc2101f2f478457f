// The texts of numbers as the writers produce them.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "Base/internal/Assert.h"
#include "Base/internal/DecimalDigits.h"
#include "Base/internal/NumberText.h"

namespace mbrk {

// ---- Value texts ------------------------------------------------------------
//
// "%.9g" by hand: the nine significant digits are found with 128-bit integer
// arithmetic and a table of powers of ten, in a quarter of the general
// conversion's time. The result is exact: where the arithmetic cannot decide
// the rounding (a value within a hair of halfway between two nine-digit
// texts, or exactly on it) the general conversion writes the text instead.

namespace {

using namespace decimal;

#if defined(__SIZEOF_INT128__)

// The fast way for a finite, nonzero, positive value, to N significant
// digits; false when it cannot decide the rounding, and then nothing useful
// is in `out`.
template <typename Digits>
bool FormatPositive(double value, char* out, std::size_t* length) {
  constexpr int kLast = Digits::kCount - 1;  // the power of ten of the last digit kept
  const NormalBinary binary = Normalise(value);
  int exponent;
  Uint128 scaled;
  if (!ScaleToDigits(binary.m, binary.q, kLast, Digits::kHigh, &exponent, &scaled)) return false;
  // value * 10^(kLast - exponent) = whole + fraction / 2^64 + less than 2^-63;
  // the whole part is below 10^16 < 2^54, so the fraction keeps its 64 bits.
  auto whole = static_cast<std::uint64_t>(scaled >> 64);
  const auto fraction = static_cast<std::uint64_t>(scaled);
  constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
  constexpr std::uint64_t kUndecided = 8;  // a margin above the 2 units of error
  if (fraction >= kHalf - kUndecided && fraction <= kHalf) return false;  // at or near a tie
  if (fraction > kHalf) ++whole;
  if (whole == Digits::kHigh) {  // rounded up to the next power of ten
    whole = Digits::kLow;
    ++exponent;
  }
  if (whole < Digits::kLow) return false;  // cannot happen; never guess
  *length = LayOut<Digits>(whole, exponent, out);
  return true;
}

#endif  // __SIZEOF_INT128__

// A finite value to N significant digits: integers and the fast way where
// they decide, the exact general conversion where they cannot.
template <typename Digits>
inline std::size_t FormatFinite(double value, char* buffer) noexcept {
#if defined(__SIZEOF_INT128__)
  const auto positive = [](double magnitude, char* out, std::size_t* length) {
    return FormatPositive<Digits>(magnitude, out, length);
  };
#else
  const auto positive = [](double, char*, std::size_t*) { return false; };
#endif
  const std::size_t length =
      FormatFast(value, static_cast<double>(Digits::kHigh), buffer, positive);
  return length != 0 ? length : FormatGeneral(value, buffer, Digits::kCount);
}

// The flat writer's whole conversion; FormatValue below is its one entrance.
inline std::size_t Format(double value, char* buffer) noexcept {
  if (!std::isfinite(value)) {
    const char* text =
        std::isinf(value) ? (value < 0 ? "-INF" : "+INF") : (std::signbit(value) ? "-NAN" : "+NAN");
    std::memcpy(buffer, text, 4);
    return 4;
  }
  return FormatFinite<NineDigits>(value, buffer);
}

}  // namespace

std::size_t FormatValue(double value, char* buffer) noexcept { return Format(value, buffer); }

// ---- General notation ---------------------------------------------------------------

void AppendGeneral15(std::string& text, double value) {
  char digits[kMaxValueText];
  text.append(digits, FormatGeneral15(value, digits));
}

std::size_t FormatGeneral15(double value, char* buffer) noexcept {
  // Right below the largest double, 15 digits can round up past it
  // ("1.79769313486232e+308"), a text that reads back as infinity; 17 digits
  // always read back as the value itself.
  if (std::isfinite(value) && std::fabs(value) < 1.7976931348623e308) {
    return FormatFinite<FifteenDigits>(value, buffer);
  }
  std::size_t length = FormatGeneral(value, buffer, 15);
  if (std::isfinite(value)) {
    double back = 0.0;
    if (std::from_chars(buffer, buffer + length, back).ec == std::errc::result_out_of_range) {
      length = FormatGeneral(value, buffer, 17);
    }
  }
  return length;
}

}  // namespace mbrk
