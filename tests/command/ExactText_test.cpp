// The command's value texts: exactly what std::to_chars writes (the
// shortest text that reads back), also where a faster road is taken.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "TestSupport.h"
#include "command/mbrk/Common.h"

namespace mbrk::test {
namespace {

std::string Shortest(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

TEST(ExactText, MatchesTheShortestTextOfEveryKindOfValue) {
  std::mt19937_64 random(11);
  // Values of every kind: any bits, decimals of a few to 17 digits at every
  // magnitude the faster road takes and around it, whole numbers.
  auto any_bits = [&] {
    const std::uint64_t bits = random();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  };
  auto decimal = [&] {
    const int digits = 1 + static_cast<int>(random() % 17);
    const int exponent = static_cast<int>(random() % 30) - 12;
    const std::string text = std::to_string(random() % 100000000000000000ULL).substr(0, digits) +
                             "e" + std::to_string(exponent - digits);
    return (random() & 1 ? -1 : 1) * std::strtod(text.c_str(), nullptr);
  };
  auto whole = [&] { return static_cast<double>(random() % 10000000) * (random() % 3 ? 1 : 1e3); };
  for (int i = 0; i < 50000 * kScale; ++i) {
    for (const double value : {any_bits(), decimal(), whole()}) {
      if (!std::isfinite(value)) continue;
      ASSERT_EQ(Shortest(value), cli::ExactText(value)) << Shortest(value);
    }
  }
  for (const double value : {0.0, -0.0, 1e-7, 9.9999999999999995e-8, 1e15, 999999999999999.9, 0.1,
                             0.0002, 0.002, 0.001234, 100.0, 1e6, 123456789012345.6}) {
    EXPECT_EQ(Shortest(value), cli::ExactText(value));
  }
  EXPECT_EQ("inf", cli::ExactText(HUGE_VAL));
  EXPECT_EQ("-inf", cli::ExactText(-HUGE_VAL));
  EXPECT_EQ("nan", cli::ExactText(-std::nan("")));
}

}  // namespace
}  // namespace mbrk::test
