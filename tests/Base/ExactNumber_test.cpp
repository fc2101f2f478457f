#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "Base/internal/NumberText.h"

namespace mbrk {
namespace {

std::string Exact(double value) {
  char text[kMaxValueText];
  return std::string(text, FormatExact(value, text));
}

// printf's text at the first of 15, 16 and 17 digits that strtod reads back.
std::string Reference(double value) {
  char text[64];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (SameDouble(std::strtod(text, nullptr), value)) break;
  }
  return text;
}

TEST(ExactTexts, KnownValues) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.1, "0.1"},
      {1.0 / 3, "0.3333333333333333"},
      {2.0 / 3, "0.6666666666666666"},
      {9007199254740992.0, "9007199254740992"},  // 2^53
      {9007199254740994.0, "9007199254740994"},
      {9007199254740995.0, "9007199254740996"},  // a tie, to even
      {999999999999999.0, "999999999999999"},
      {1e15, "1e+15"},
      {123456.25, "123456.25"},
      {-0.0, "-0"},
      {0.0, "0"},
      {tiny, "4.94065645841247e-324"},
      {std::nextafter(1.0, 2.0), "1.0000000000000002"},
      {DBL_MAX, "1.7976931348623157e+308"},
      {-DBL_MIN, "-2.2250738585072014e-308"},
      {0.30000000000000004, "0.30000000000000004"},
      {1e-5, "1e-05"},
      {0.1 + 0.7, "0.7999999999999999"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::quiet_NaN(), "-nan"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, Exact(c.value)) << std::hexfloat << c.value;
}

// Both ends of every binade and their neighbours: where the fast way's
// exponent guess and its rounding interval (narrower below a power of two)
// would go wrong.
TEST(ExactTexts, EveryBinadeAtBothEnds) {
  for (int b = -1074; b <= 1023; ++b) {
    const double low = std::ldexp(1.0, b);
    const double high = b == 1023 ? DBL_MAX : std::nextafter(std::ldexp(1.0, b + 1), 0.0);
    for (double value : {low, high, -low, std::nextafter(low, 0.0), std::nextafter(low, 1e308)}) {
      ASSERT_EQ(Reference(value), Exact(value)) << std::hexfloat << value;
    }
  }
}

TEST(ExactTexts, RandomBitPatternsReadBackAndMatchPrintf) {
  std::mt19937_64 random(22);
  for (int i = 0; i < 200000; ++i) {
    std::uint64_t bits = random();
    if (i % 4 == 1) bits = (bits & 0x800FFFFFFFFFFFFFULL) | 0x3FF0000000000000ULL;  // [1, 2)
    if (i % 4 == 2) bits >>= 12;                                                    // subnormal
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (i % 4 == 3) value = std::nearbyint(value * 0x1p-970);  // integers, many near 2^53
    if (!std::isfinite(value)) continue;
    const std::string text = Exact(value);
    ASSERT_EQ(Reference(value), text) << std::hexfloat << value;
    ASSERT_TRUE(SameDouble(std::strtod(text.c_str(), nullptr), value)) << text;
  }
}

// Every layout of sixteen and seventeen digits, positional ones of every
// length and both exponent forms, with their signs: the texts match printf's
// and nothing is written past kMaxValueText.
TEST(ExactTexts, EveryLayoutWithinTheBuffer) {
  std::mt19937_64 random(7);
  for (int exponent = -7; exponent <= 18; ++exponent) {
    for (int i = 0; i < 400; ++i) {
      const double unit = 1.0 + static_cast<double>(random() >> 11) * 0x1p-53 * 9.0;
      const double value = (i % 2 ? -unit : unit) * std::pow(10.0, exponent);
      char text[2 * kMaxValueText];
      std::memset(text, '#', sizeof text);
      const std::size_t length = FormatExact(value, text);
      ASSERT_EQ(Reference(value), std::string(text, length)) << std::hexfloat << value;
      ASSERT_EQ(std::string(kMaxValueText, '#'), std::string(text + kMaxValueText, kMaxValueText));
    }
  }
}

TEST(ExactTexts, FifteenDigitsWhereTheyReadBack) {
  char fifteen[kMaxValueText];
  for (double value : {0.1, 1.5, 1e20, 123.456, 1e-300, 4.35, -7.0e-7}) {
    EXPECT_EQ(std::string(fifteen, FormatGeneral15(value, fifteen)), Exact(value));
  }
}

TEST(ExactTexts, LabelValuesKeepNineDecimalsWhereTheyReadBack) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.5, "0.500000000"},
      {-2.0, "-2.000000000"},
      {1e-12, "1e-12"},
      {1.0 / 3, "0.3333333333333333"},
      {0.123456789, "0.123456789"},
      {1e9 + 0.5, "1000000000.500000000"},
  };
  for (const auto& c : cases) {
    std::string text;
    AppendExactLabelValue(text, c.value);
    EXPECT_EQ(c.text, text);
  }
}

TEST(FlatSpecialTexts, TheWritersFourAndNothingElse) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* text;
    int length;  // -1: not one of them
    double value;
  } cases[] = {
      {"+INF", 4, inf}, {"-INF ", 4, -inf}, {"+NAN", 4, 0.0}, {"-NAN\n", 4, -0.0}, {"INF", -1, 0},
      {"+inf", -1, 0},  {"+IN", -1, 0},     {"+NA", -1, 0},   {"*INF", -1, 0},
  };
  for (const auto& c : cases) {
    double value = 7.0;
    const char* end = c.text + std::strlen(c.text);
    const char* stop = ScanFlatSpecial(c.text, end, &value);
    if (c.length < 0) {
      EXPECT_EQ(nullptr, stop) << c.text;
      continue;
    }
    ASSERT_EQ(c.text + c.length, stop) << c.text;
    if (std::string(c.text).find("NAN") != std::string::npos) {
      EXPECT_TRUE(std::isnan(value) && std::signbit(value) == std::signbit(c.value)) << c.text;
    } else {
      EXPECT_EQ(c.value, value) << c.text;
    }
  }
}

}  // namespace
}  // namespace mbrk
