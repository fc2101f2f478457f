// Every double a dataset holds comes back from its file bit for bit: values
// drawn over all bit patterns, as values and as label values, written and
// read back. MBRK_ROUNDTRIP_COUNT sets how many (200,000 by default);
// scripts/roundtrip-proof runs ten million.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "Base/internal/NumberText.h"
#include "Dataset/Dataset.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

// One double of the class `kind % 8`: any bit pattern (infinities and NaNs
// among them), subnormals, the extremes and zeros, integers near 2^53, the
// binade [1, 2), short decimals, everyday values, powers of two and their
// neighbours.
double Draw(std::mt19937_64& random, std::uint64_t kind) {
  const std::uint64_t bits = random();
  const double sign = (bits >> 63) != 0 ? -1.0 : 1.0;
  double value = 0.0;
  switch (kind % 8) {
    case 0: std::memcpy(&value, &bits, sizeof value); return value;
    case 1: {
      const std::uint64_t subnormal = (bits >> 12) | (bits & 0x8000000000000000ULL);
      std::memcpy(&value, &subnormal, sizeof value);
      return value;
    }
    case 2: {
      const double extremes[] = {0.0,
                                 DBL_MAX,
                                 DBL_MIN,
                                 std::numeric_limits<double>::denorm_min(),
                                 DBL_EPSILON,
                                 std::nextafter(DBL_MAX, 0.0),
                                 std::nextafter(DBL_MIN, 0.0)};
      return sign * extremes[(bits >> 8) % 7];
    }
    case 3:
      return sign * (9007199254740992.0 +
                     static_cast<double>(static_cast<std::int64_t>(bits % 4096) - 2048) * 2.0);
    case 4: return sign * (1.0 + static_cast<double>(bits >> 12) * 0x1p-52);
    case 5:
      return sign * static_cast<double>(bits % 100000000) /
             std::pow(10.0, static_cast<double>((bits >> 40) % 12));
    case 6: return std::uniform_real_distribution<double>(-1000.0, 1000.0)(random);
    default: {
      const double power = std::ldexp(1.0, static_cast<int>((bits >> 8) % 2098) - 1074);
      return sign * ((bits & 3) == 0   ? std::nextafter(power, 0.0)
                     : (bits & 3) == 1 ? std::nextafter(power, 1e308)
                                       : power);
    }
  }
}

std::size_t Count() {
  const char* text = std::getenv("MBRK_ROUNDTRIP_COUNT");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : 200000;
}

TEST(RoundTrip, EveryValueComesBackBitForBit) {
  constexpr std::size_t kWidth = 8;  // and two label values a row
  const std::size_t rows = Count() / (kWidth + 2);
  std::mt19937_64 random(20261209);
  Dataset written;
  written.inputs = Matrix(rows, kWidth);
  written.expected = Matrix(rows, 0);
  written.generated = Matrix(rows, 0);
  written.errors = Matrix(rows, 0);
  written.expected_labels.emplace(rows);
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t k = 0; k < kWidth; ++k)
      written.inputs(row, k) = Draw(random, row * kWidth + k);
    (*written.expected_labels)[row] = {{"a", Draw(random, row)}, {"b", Draw(random, row + 3)}};
  }
  test::TempDir dir;
  WriteDataset(dir.File("values.mbrk"), written);
  const Dataset read = ReadDataset(dir.File("values.mbrk"));

  ASSERT_EQ(rows, read.Rows());
  std::size_t wrong = 0;
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t k = 0; k < kWidth; ++k) {
      const double value = written.inputs(row, k);
      if (!SameDouble(value, read.inputs(row, k)) && wrong++ < 10) {
        ADD_FAILURE() << std::hexfloat << value << " came back as " << read.inputs(row, k);
      }
    }
    const Labels& labels = (*read.expected_labels)[row];
    for (std::size_t k = 0; k < 2; ++k) {
      const double value = (*written.expected_labels)[row][k].value;
      if (!SameDouble(value, labels.at(k).value) && wrong++ < 10) {
        ADD_FAILURE() << "label " << std::hexfloat << value << " came back as " << labels[k].value;
      }
    }
  }
  EXPECT_EQ(0U, wrong) << "of " << rows * (kWidth + 2) << " values";
}

}  // namespace
}  // namespace mbrk
