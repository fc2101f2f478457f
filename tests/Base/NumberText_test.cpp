// Number texts: the scanners against the C library's "%f"/strtod and "%ld",
// and the value texts against printf("%.9g") and "%.15g".
#include "Base/internal/NumberText.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mbrk {
namespace {

using test::kScale;

double FromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// ---- Scanning ----------------------------------------------------------------------

// The reference: "%f" must convert a value, strtod gives it.
bool ReferenceNumber(const char* text, double* value) {
  float probe;
  if (std::sscanf(text, "%f", &probe) != 1) return false;
  *value = std::strtod(text, nullptr);
  return true;
}

// Plain decimals take a conversion of their own; it must agree with the
// reference bit for bit, also at the edges of its exact road (2^53 as the
// digits' integer, 10^22 as the power, 19 and 20 significant digits, runs of
// 4 and 8 digits), and other texts must still be judged by the reference.
TEST(ConvertNumber, AcceptsWhatFloatScanAcceptsWithStrtodsValueBitForBit) {
  std::mt19937 random(20240611);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + pick(10));
    return s;
  };
  // clang-format off
  const char* const edges[] = {
      "1.7976931348623157e308", "1.7976931348623159e308", "4.9e-324", "2.4703282292062327e-324",
      "2.2250738585072011e-308", "-0.0", "0e999999999", "1e-310", "9007199254740992",
      "9007199254740993", "9007199254740991", "900719925474099.3", "1234567890123456789",
      "12345678901234567890", "0.0000000000000000000000001", "1e22", "1e23", "1e-22", "1e-23",
      "9007199254740992e22", "9007199254740992e-22", "123456789.12345678", "12345678", "1234",
      "0.1234", "00000000", "0.00000000e0", "-0e-22", "3.", ".3", "+.3e+1", "1234567e",
      "12345678e-", "8.9884656743115795e307"};
  for (int i = 0; i < 300000; ++i) {
    std::string text;
    if (i < static_cast<int>(std::size(edges))) {
      text = edges[i];
    } else if (i % 2 == 0) {  // a plain decimal
      const char* const signs[] = {"", "+", "-"};
      text = signs[pick(3)] + digits(pick(20));
      if (pick(2) != 0) text += "." + digits(pick(20));
      if (pick(2) != 0) text += std::string(pick(2) ? "e" : "E") + signs[pick(3)] + digits(1 + pick(3));
    } else {  // anything made of the characters of numbers
      const char alphabet[] = "0123456789+-.eExpinfa ";
      for (int n = pick(12); n > 0; --n) text += alphabet[pick(sizeof alphabet - 1)];
    }
    double expected = 0.0;
    double actual = 0.0;
    const bool accepted = ReferenceNumber(text.c_str(), &expected);
    ASSERT_EQ(accepted, ConvertNumber(text.data(), text.size(), &actual)) << text;
    if (!accepted || std::isnan(expected)) continue;
    ASSERT_EQ(0, std::memcmp(&expected, &actual, sizeof actual)) << text;
  }
}

TEST(ConvertInteger, MatchesLongScanWithin32Bits) {
  std::mt19937 random(7);
  const char alphabet[] = "0123456789+- x.";
  for (int i = 0; i < 100000; ++i) {
    std::string text;
    for (int n = static_cast<int>(random() % 12); n > 0; --n) text += alphabet[random() % (sizeof alphabet - 1)];
    long expected = 0;
    const bool scanned = std::sscanf(text.c_str(), "%ld", &expected) == 1;
    const bool fits = scanned && expected >= INT32_MIN && expected <= INT32_MAX;
    std::int32_t actual = 0;
    ASSERT_EQ(fits, ConvertInteger(text.data(), text.size(), &actual)) << text;
    if (fits) {
      ASSERT_EQ(expected, actual) << text;
    }
  }
}

// ---- Value texts ------------------------------------------------------------------
//
// The flat writer's nine digits (FormatValue) and the dataset writer's fifteen
// (FormatGeneral15) come from one formatter; each is held to printf.

using test::Format;

std::string Text(int digits, double value) {
  if (digits == 9) return Format(value);
  char text[kMaxValueText];
  return std::string(text, FormatGeneral15(value, text));
}

// printf's text, but seventeen digits where fifteen would read back as
// infinity (right below the largest double), as FormatGeneral15 writes them.
std::string Reference(int digits, double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  if (digits == 15 && std::isinf(std::strtod(text, nullptr))) {
    std::snprintf(text, sizeof text, "%.17g", value);
  }
  return text;
}

// Every binade, at both of its ends: the decimal exponent is worked out from
// the binary one, and the ends are where a wrong guess would show.
TEST(ValueTexts, EveryBinadeAtBothEnds) {
  for (int digits : {9, 15}) {
    for (int b = -1074; b <= 1023; ++b) {
      const double low = std::ldexp(1.0, b);
      const double high = b == 1023 ? DBL_MAX : std::nextafter(std::ldexp(1.0, b + 1), 0.0);
      for (double value : {low, high, -low, std::nextafter(low, 1e308)}) {
        ASSERT_EQ(Reference(digits, value), Text(digits, value)) << std::hexfloat << value;
      }
    }
  }
}

// Powers of ten and their neighbours, the halfway points between texts and
// their neighbours, and exact ties (rounded to even).
TEST(ValueTexts, PowersOfTenAndHalfwayPoints) {
  for (int digits : {9, 15}) {
    for (int k = -323; k <= 308; ++k) {
      const double power = std::strtod(("1e" + std::to_string(k)).c_str(), nullptr);
      for (double value : {power, std::nextafter(power, 0.0), std::nextafter(power, HUGE_VAL),
                           power * 9.999999995, power * 9.9999999949, power * 9.999999999999995,
                           power * 9.9999999999999949}) {
        if (!std::isfinite(value)) continue;
        ASSERT_EQ(Reference(digits, value), Text(digits, value)) << std::hexfloat << value;
      }
    }
    // An integer of one digit more than is kept, ending in 5, lies halfway.
    const std::uint64_t least = digits == 9 ? 100000000 : 100000000000000;
    std::mt19937_64 random(5);
    for (int i = 0; i < 20000 * kScale; ++i) {
      const double tie = static_cast<double>((least + random() % (8 * least)) * 10 + 5);
      for (double value : {tie, std::ldexp(tie, -static_cast<int>(random() % 5)),
                           std::nextafter(tie, 0.0), std::nextafter(tie, HUGE_VAL)}) {
        ASSERT_EQ(Reference(digits, value), Text(digits, value)) << std::hexfloat << value;
      }
    }
  }
  // 123456789.5 lies halfway and goes to the even 123456790; 123456788.5 to 123456788.
  EXPECT_EQ("123456790", Format(123456789.5));
  EXPECT_EQ("123456788", Format(123456788.5));
  EXPECT_EQ("1.23456788e+09", Format(1234567885.0));
  EXPECT_EQ("1.2345679e+09", Format(1234567895.0));
  EXPECT_EQ("1.23456789012346e+15", Text(15, 1234567890123455.0));
  EXPECT_EQ("1.7976931348623157e+308", Text(15, DBL_MAX));
}

// A sample from the classes of bench/format_check.cpp, which runs the long count.
TEST(ValueTexts, AgreeWithPrintfOnASample) {
  std::mt19937_64 random(20261209);
  auto decimal = [&](int digits, int exponent) {
    std::string text = (random() & 1) ? "-" : "";
    text += static_cast<char>('1' + random() % 9);
    text += '.';
    for (int i = 1; i < digits; ++i) text += static_cast<char>('0' + random() % 10);
    return std::strtod((text + "e" + std::to_string(exponent)).c_str(), nullptr);
  };
  for (int digits : {9, 15}) {
    for (int i = 0; i < 200000 * kScale; ++i) {
      double value;
      switch (i % 5) {
        case 0: value = FromBits(random()); break;
        case 1:
          value = FromBits(random() & 0x801FFFFFFFFFFFFFULL);  // subnormals, smallest normals
          break;
        case 2:
          value =
              decimal(1 + static_cast<int>(random() % 17), static_cast<int>(random() % 634) - 325);
          break;
        case 3:  // near halfway as written
          value = decimal(digits + 1, static_cast<int>(random() % 40) - 20);
          break;
        default: value = static_cast<double>(random() >> (11 + random() % 50)); break;
      }
      if (!std::isfinite(value)) continue;
      ASSERT_EQ(Reference(digits, value), Text(digits, value)) << std::hexfloat << value;
    }
  }
}

// "%.*f" at the precisions in use and at its edges (0, a negative one read as
// 6, more digits than a double holds), on ties, tiny, huge and special values.
TEST(FixedText, AgreesWithPrintf) {
  const double values[] = {0.0,   -0.0,    0.5,      1.5,     2.5,     -2.5,       0.125,
                           0.0078125, 1e-7, 5e-10,   2.0 / 3, 1e15 + 0.5, 9007199254740993.0,
                           1e22,  1e300,   -DBL_MAX, DBL_MIN, DBL_TRUE_MIN, HUGE_VAL,
                           -HUGE_VAL, std::nan(""), -std::nan("")};
  std::vector<char> text(2000);
  for (int precision : {0, 1, 6, 9, 17, -1, 400}) {
    for (double value : values) {
      std::snprintf(text.data(), text.size(), "%.*f", precision, value);
      ASSERT_EQ(std::string(text.data()), FixedText(value, precision)) << precision << " " << value;
    }
  }
}

}  // namespace
}  // namespace mbrk
