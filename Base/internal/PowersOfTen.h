// A table of the powers of ten as 128-bit mantissas, worked out by the
// compiler, for the writers of number texts.
#ifndef MBRK_BASE_INTERNAL_POWERSOFTEN_H
#define MBRK_BASE_INTERNAL_POWERSOFTEN_H

#include <cstdint>

#include "Base/internal/Assert.h"

namespace mbrk::powers {

// 10^k for kMinPower <= k <= kMaxPower as a 128-bit mantissa with its top bit
// set, times 2^exponent; the mantissa is cut off, never rounded up, so it is
// never above the true power (and exact for 0 <= k <= 55).
struct Power {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  std::int32_t exponent = 0;
};

// A double's decimal exponent lies between -324 and 308; the digit position
// sought, 8 minus that, between -300 and 332.
inline constexpr int kMinPower = -310;
inline constexpr int kMaxPower = 340;

// A small unsigned big integer, enough to work the table out at compile time.
class BigNumber {
 public:
  static constexpr int kLimbs = 40;  // 1,280 bits

  constexpr explicit BigNumber(int power_of_two) {
    MBRK_ASSERT(power_of_two < kLimbs * 32);
    used_ = power_of_two / 32 + 1;
    limbs_[used_ - 1] = std::uint32_t{1} << (power_of_two % 32);
  }
  constexpr void MultiplyBy5() {
    std::uint64_t carry = 0;
    for (int i = 0; i < used_; ++i) {
      const std::uint64_t product = std::uint64_t{limbs_[i]} * 5 + carry;
      limbs_[i] = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) {
      MBRK_ASSERT(used_ < kLimbs);
      limbs_[used_++] = static_cast<std::uint32_t>(carry);
    }
  }
  constexpr void DivideBy5() {
    std::uint64_t remainder = 0;
    for (int i = used_; i-- > 0;) {
      const std::uint64_t part = (remainder << 32) | limbs_[i];
      limbs_[i] = static_cast<std::uint32_t>(part / 5);
      remainder = part % 5;
    }
    while (used_ > 1 && limbs_[used_ - 1] == 0) --used_;
  }
  constexpr int Bits() const {
    int top = 31;
    while (top > 0 && ((limbs_[used_ - 1] >> top) & 1U) == 0) --top;
    return (used_ - 1) * 32 + top + 1;
  }
  // The top 128 bits, as a mantissa with its top bit set; `shift` receives
  // the power of two that scales it back to the number (cut off, not rounded).
  constexpr void Top128(std::uint64_t* high, std::uint64_t* low, int* shift) const {
    const int bits = Bits();
    *high = BitsFrom(bits - 64);
    *low = BitsFrom(bits - 128);
    *shift = bits - 128;
  }

 private:
  constexpr std::uint64_t Limb(int i) const { return i >= 0 && i < used_ ? limbs_[i] : 0; }
  // The 64 bits from bit `first` up; bits below 0 read as zeros.
  constexpr std::uint64_t BitsFrom(int first) const {
    if (first < 0) return first > -64 ? BitsFrom(0) << -first : 0;
    const int limb = first / 32;
    const int offset = first % 32;
    const std::uint64_t low = Limb(limb) | Limb(limb + 1) << 32;
    return offset == 0 ? low : low >> offset | Limb(limb + 2) << (64 - offset);
  }

  std::uint32_t limbs_[kLimbs] = {};  // least significant first
  int used_ = 1;
};

class PowerTable {
 public:
  constexpr PowerTable() {
    // 10^k = 5^k * 2^k.
    BigNumber five(0);
    for (int k = 0; k <= kMaxPower; ++k) {
      Set(k, five, k);
      five.MultiplyBy5();
    }
    // 10^-j = 2^-j / 5^j, with 1 / 5^j taken as floor(2^kWide / 5^j) / 2^kWide:
    // flooring again after each division by 5 gives the same floor.
    constexpr int kWide = 1152;
    BigNumber inverse(kWide);
    for (int j = 1; j <= -kMinPower; ++j) {
      inverse.DivideBy5();
      Set(-j, inverse, -j - kWide);
    }
  }
  constexpr const Power& operator[](int k) const { return powers_[k - kMinPower]; }

 private:
  constexpr void Set(int k, const BigNumber& number, int scale) {
    Power& power = powers_[k - kMinPower];
    int shift = 0;
    number.Top128(&power.high, &power.low, &shift);
    power.exponent = shift + scale;
  }

  Power powers_[kMaxPower - kMinPower + 1] = {};
};

// Worked out by the compiler: a process that formats a few values pays
// nothing to build the table.
inline constexpr PowerTable kPowers;

}  // namespace mbrk::powers

#endif  // MBRK_BASE_INTERNAL_POWERSOFTEN_H
