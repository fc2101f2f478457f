// Reading numbers from texts by the rules of the C library's scanning.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "Base/internal/Assert.h"
#include "Base/internal/NumberText.h"
#include "Base/internal/Text.h"

namespace mbrk {

namespace {

// The conversion that defines which texts are numbers: "%f" must convert one
// value (its float is only a test), and strtod gives the value at double
// precision. `text` is NUL-terminated.
bool ConvertByCLibrary(const char* text, double* value) {
  float probe = 0.0F;
  if (std::sscanf(text, "%f", &probe) != 1) return false;
  *value = std::strtod(text, nullptr);
  return true;
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

}  // namespace

bool ConvertInteger(const char* text, std::size_t length, std::int32_t* value) noexcept {
  const char* p = text;
  const char* const end = text + length;
  while (p != end && IsCSpace(ByteOf(*p))) ++p;
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

bool ConvertNumber(const char* text, std::size_t length, double* value) {
  if (ConvertPlainDecimal(text, text + length, value)) return true;
  const std::string terminated(text, length);
  return ConvertByCLibrary(terminated.c_str(), value);
}

bool ConvertNumber(const char* text, double* value) {
  MBRK_ASSERT(text != nullptr);
  if (ConvertPlainDecimal(text, text + std::strlen(text), value)) return true;
  return ConvertByCLibrary(text, value);
}

bool ConvertLeadingNumber(const char* text, double* value) {
  MBRK_ASSERT(text != nullptr);
  char* end = nullptr;
  const double result = std::strtod(text, &end);
  if (end == text) return false;
  *value = result;
  return true;
}

const char* ScanFlatSpecial(const char* p, const char* end, double* value) noexcept {
  if (end - p < 4 || (p[0] != '+' && p[0] != '-')) return nullptr;
  const bool negative = p[0] == '-';
  if (std::memcmp(p + 1, "INF", 3) == 0) {
    *value = negative ? -std::numeric_limits<double>::infinity()
                      : std::numeric_limits<double>::infinity();
  } else if (std::memcmp(p + 1, "NAN", 3) == 0) {
    *value = negative ? -std::numeric_limits<double>::quiet_NaN()
                      : std::numeric_limits<double>::quiet_NaN();
  } else {
    return nullptr;
  }
  return p + 4;
}

}  // namespace mbrk
