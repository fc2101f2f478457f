// The fixed-point and integer texts, as printf's "%.*f" and "%ld" write them
// in the "C" locale, whatever locale the host program has set.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "Base/internal/Assert.h"
#include "Base/internal/NumberText.h"

namespace mbrk {

// to_chars is defined as printf's conversion in the "C" locale and is
// independent of the host program's locale, which could otherwise turn the
// point into a comma that reads back as two numbers. No magnitude is cut
// short: the largest double has 309 integral digits.
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

std::size_t FormatInteger(std::int32_t value, char* buffer) noexcept {
  const std::to_chars_result done = std::to_chars(buffer, buffer + kMaxIntegerText, value);
  MBRK_ASSERT(done.ec == std::errc());
  return static_cast<std::size_t>(done.ptr - buffer);
}

}  // namespace mbrk
