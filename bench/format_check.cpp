// format_check: compares the writers' value texts with printf: the flat
// writer's (FormatValue) with "%.9g", or with --digits 15 the dataset writer's
// (FormatGeneral15) with "%.15g".
//
//   format_check [--count N] [--seed S] [--digits 9|15] [--progress]
//
// Draws N doubles (default 100,000,000) from a mix of classes meant to find a
// wrong digit if there is one: random bit patterns over every exponent,
// subnormals, the nearest doubles to short decimal texts (among them the
// texts that lie exactly halfway between two texts of the digits checked),
// exact ties, the neighbours of powers of ten and of the rounding boundaries,
// and integers. Prints the mismatches (the first 20 in full) and a summary;
// exits 1 when there was any. check_format.sh runs it for the long count.
//
// FormatGeneral15 departs from "%.15g" on purpose right below the largest
// double, where the fifteen digits would read back as infinity: there the
// reference is "%.17g".

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "Base/internal/NumberText.h"

namespace {

// splitmix64, as the dataset generator uses.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }

 private:
  std::uint64_t state_;
};

double FromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A decimal text of `digits` random digits and a random exponent, read back
// by strtod: the doubles that real data files hold.
double ShortDecimal(Random& random, int digits, int min_exponent, int max_exponent, bool tie) {
  char text[64];
  char* p = text;
  if (random.Next() & 1) *p++ = '-';
  *p++ = static_cast<char>('1' + random.Below(9));
  *p++ = '.';
  for (int i = 1; i < digits; ++i) *p++ = static_cast<char>('0' + random.Below(10));
  if (tie) p[-1] = '5';  // the tenth digit 5: halfway as written
  const int exponent =
      min_exponent +
      static_cast<int>(random.Below(static_cast<std::uint64_t>(max_exponent - min_exponent + 1)));
  std::snprintf(p, static_cast<std::size_t>(text + sizeof text - p), "e%d", exponent);
  return std::strtod(text, nullptr);
}

// 10^(digits - 1), the least integer of `digits` digits.
std::uint64_t LeastOf(int digits) {
  std::uint64_t n = 1;
  for (int i = 1; i < digits; ++i) n *= 10;
  return n;
}

double Draw(Random& random, std::uint64_t i, int digits) {
  const std::uint64_t least = LeastOf(digits);
  switch (i % 10) {
    case 0:  // any finite bit pattern
    case 1: return FromBits(random.Next());
    case 2:  // subnormals and the smallest normals
      return FromBits((random.Next() & 0x801FFFFFFFFFFFFFULL));
    case 3:  // short decimals of 1 to 17 digits, every decimal exponent
      return ShortDecimal(random, 1 + static_cast<int>(random.Below(17)), -325, 308, false);
    case 4:  // one digit more, ending in 5: halfway as written, not as stored
      return ShortDecimal(random, digits + 1, -320, 300, true);
    case 5: {  // exact ties: an integer of one digit more ending in 5, halved a few times
      const std::uint64_t n = (least + random.Below(8 * least)) * 10 + 5;
      return std::ldexp(static_cast<double>(n), -static_cast<int>(random.Below(4)));
    }
    case 6: {  // neighbours of powers of ten
      const double power =
          std::pow(10.0, static_cast<double>(static_cast<int>(random.Below(630)) - 320));
      const int steps = static_cast<int>(random.Below(5));
      double value = power;
      for (int s = 0; s < steps; ++s) {
        value = std::nextafter(value, (random.Next() & 1) ? 0.0 : HUGE_VAL);
      }
      return value;
    }
    case 7: {  // neighbours of the halfway points between texts of `digits` digits
      const double n = static_cast<double>(least + random.Below(9 * least)) + 0.5;
      const double value =
          n * std::pow(10.0, static_cast<double>(static_cast<int>(random.Below(40)) - 20));
      return std::nextafter(value, (random.Next() & 1) ? 0.0 : HUGE_VAL);
    }
    case 8:  // integers up to 2^53
      return static_cast<double>(random.Next() >> (11 + random.Below(50)));
    default:  // the benchmark's columns: 15 significant digits
      return ShortDecimal(random, 15, -10, 20, false);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t count = 100000000;
  std::uint64_t seed = 1;
  bool progress = false;
  int digits = 9;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--count" && i + 1 < argc) {
      count = std::strtoull(argv[++i], nullptr, 10);
    } else if (option == "--seed" && i + 1 < argc) {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (option == "--digits" && i + 1 < argc) {
      digits = std::atoi(argv[++i]);
      if (digits != 9 && digits != 15) digits = 0;
    } else if (option == "--progress") {
      progress = true;
    } else {
      digits = 0;
    }
  }
  if (digits == 0) {
    std::fprintf(stderr,
                 "usage: format_check [--count N] [--seed S] [--digits 9|15] [--progress]\n");
    return 2;
  }

  Random random(seed * 0x2545F4914F6CDD1DULL + 7);
  std::uint64_t checked = 0;
  std::uint64_t mismatches = 0;
  const std::clock_t start = std::clock();
  for (std::uint64_t i = 0; i < count; ++i) {
    const double value = Draw(random, i, digits);
    if (!std::isfinite(value)) continue;
    char mine[mbrk::kMaxValueText + 1];
    const std::size_t length =
        digits == 9 ? mbrk::FormatValue(value, mine) : mbrk::FormatGeneral15(value, mine);
    mine[length] = '\0';
    char reference[64];
    std::snprintf(reference, sizeof reference, "%.*g", digits, value);
    if (digits == 15 && std::isinf(std::strtod(reference, nullptr))) {
      std::snprintf(reference, sizeof reference, "%.17g", value);
    }
    ++checked;
    if (std::strcmp(mine, reference) != 0) {
      if (++mismatches <= 20) {
        std::printf("MISMATCH %a: formatter \"%s\", printf \"%s\"\n", value, mine, reference);
      }
    }
    if (progress && (i + 1) % 10000000 == 0) {
      std::fprintf(stderr, "  %" PRIu64 " million drawn, %" PRIu64 " mismatches\n",
                   (i + 1) / 1000000, mismatches);
    }
  }
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  std::printf("format_check: seed %" PRIu64 ", %" PRIu64
              " finite doubles compared with %%.%dg, %" PRIu64 " mismatches, %.1f s\n",
              seed, checked, digits, mismatches, seconds);
  return mismatches == 0 ? 0 : 1;
}
