#include "FileHandler/FlatFiler.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "DataObject/Assert.h"
#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"

namespace mbrk {

// ---- Value texts ------------------------------------------------------------
//
// "%.9g" by hand: the nine significant digits are found with 128-bit integer
// arithmetic and a table of powers of ten, in a quarter of the general
// conversion's time. The result is exact: where the arithmetic cannot decide
// the rounding (a value within a hair of halfway between two nine-digit
// texts, or exactly on it) the general conversion writes the text instead.

namespace {

// The exact general conversion: to_chars at precision 9 writes what "%.9g"
// writes, digit for digit, without the locale and format-string parsing of
// printf.
std::size_t FormatGeneral(double value, char* buffer) noexcept {
  const std::to_chars_result done = std::to_chars(
      buffer, buffer + TFlatFiler::kMaxValueText, value, std::chars_format::general, 9);
  MBRK_ASSERT(done.ec == std::errc());
  return static_cast<std::size_t>(done.ptr - buffer);
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline void WritePair(char* out, std::uint32_t pair) {
  std::memcpy(out, kDigitPairs + 2 * pair, 2);
}

#if defined(__SIZEOF_INT128__)

__extension__ typedef unsigned __int128 Uint128;

// 10^k for kMinPower <= k <= kMaxPower as a 128-bit mantissa with its top bit
// set, times 2^exponent; the mantissa is cut off, never rounded up, so it is
// never above the true power (and exact for 0 <= k <= 55).
struct Power {
  std::uint64_t high;
  std::uint64_t low;
  std::int32_t exponent;
};

// A double's decimal exponent lies between -324 and 308; the digit position
// sought, 8 minus that, between -300 and 332.
constexpr int kMinPower = -310;
constexpr int kMaxPower = 340;

// A small unsigned big integer, enough to work the table out once, without
// allocating (the formatter cannot fail).
class BigNumber {
 public:
  static constexpr int kLimbs = 40;  // 1,280 bits

  explicit BigNumber(int power_of_two) {
    MBRK_ASSERT(power_of_two < kLimbs * 32);
    used_ = power_of_two / 32 + 1;
    limbs_[used_ - 1] = 1U << (power_of_two % 32);
  }
  void MultiplyBy5() {
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
  void DivideBy5() {
    std::uint64_t remainder = 0;
    for (int i = used_; i-- > 0;) {
      const std::uint64_t part = (remainder << 32) | limbs_[i];
      limbs_[i] = static_cast<std::uint32_t>(part / 5);
      remainder = part % 5;
    }
    while (used_ > 1 && limbs_[used_ - 1] == 0) --used_;
  }
  int Bits() const {
    int top = 31;
    while (top > 0 && ((limbs_[used_ - 1] >> top) & 1U) == 0) --top;
    return (used_ - 1) * 32 + top + 1;
  }
  bool Bit(int i) const { return i >= 0 && ((limbs_[i / 32] >> (i % 32)) & 1U) != 0; }
  // The top 128 bits, as a mantissa with its top bit set; `shift` receives
  // the power of two that scales it back to the number (cut off, not rounded).
  void Top128(std::uint64_t* high, std::uint64_t* low, int* shift) const {
    const int bits = Bits();
    *high = *low = 0;
    for (int i = 0; i < 128; ++i) {
      if (!Bit(bits - 1 - i)) continue;
      if (i < 64) {
        *high |= std::uint64_t{1} << (63 - i);
      } else {
        *low |= std::uint64_t{1} << (127 - i);
      }
    }
    *shift = bits - 128;
  }

 private:
  std::uint32_t limbs_[kLimbs] = {};  // least significant first
  int used_ = 1;
};

class PowerTable {
 public:
  PowerTable() {
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
  const Power& operator[](int k) const { return powers_[k - kMinPower]; }

 private:
  void Set(int k, const BigNumber& number, int scale) {
    Power& power = powers_[k - kMinPower];
    int shift = 0;
    number.Top128(&power.high, &power.low, &shift);
    power.exponent = shift + scale;
  }

  Power powers_[kMaxPower - kMinPower + 1];
};

const PowerTable& Powers() {
  static const PowerTable table;
  return table;
}

// floor(log10(2^b)), exact for |b| <= 1650: 78913 / 2^18 is log10(2) close
// enough that the product never crosses an integer it should not.
inline int DecimalExponentOfPowerOf2(int b) {
  if (b >= 0) return static_cast<int>((static_cast<std::uint32_t>(b) * 78913U) >> 18);
  // b log10(2) is never an integer for b != 0, so floor(-x) = -floor(x) - 1.
  return -static_cast<int>((static_cast<std::uint32_t>(-b) * 78913U) >> 18) - 1;
}

// m * 2^q * 10^k as a fixed-point number with 64 fraction bits, at most 2
// units of the last place below the true product (never above). False when
// the product is outside the range the caller works in.
inline bool ScaleByPowerOf10(std::uint64_t m, int q, int k, Uint128* scaled) {
  const Power& power = Powers()[k];
  const Uint128 low = static_cast<Uint128>(m) * power.low;
  const Uint128 high = static_cast<Uint128>(m) * power.high;
  // The 192-bit product without its lowest 64 bits; dropping them first and
  // shifting after floors the same as shifting the whole product.
  const Uint128 top = high + (low >> 64);
  const int shift = -(q + power.exponent + 64) - 64;
  if (shift <= 0 || shift >= 64) return false;
  *scaled = top >> shift;
  return true;
}

// The nine digits of 10^8 <= n < 10^9, then zeros up to 16 characters so
// that fixed-size copies of up to 8 digits can start anywhere in the nine.
inline void WriteDigits(std::uint32_t n, char* out) {
  const std::uint32_t head = n / 100000000;
  const std::uint32_t rest = n % 100000000;
  out[0] = static_cast<char>('0' + head);
  const std::uint32_t high = rest / 10000;
  const std::uint32_t low = rest % 10000;
  WritePair(out + 1, high / 100);
  WritePair(out + 3, high % 100);
  WritePair(out + 5, low / 100);
  WritePair(out + 7, low % 100);
  std::memset(out + 9, '0', 8);
}

// How many of the nine digits written by WriteDigits are left once trailing
// zeros go: the last nonzero one among digits 1..8 is the highest nonzero
// byte of those eight bytes less '0', read little end first.
inline int SignificantDigits(const char* digits) {
  std::uint64_t tail;
  std::memcpy(&tail, digits + 1, sizeof tail);
  tail ^= 0x3030303030303030ULL;
  if (tail == 0) return 1;
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return 9 - __builtin_clzll(tail) / 8;
#else
  int count = 9;
  while (digits[count - 1] == '0') --count;
  return count;
#endif
}

// The text of d0.d1...d8 x 10^exponent as "%.9g" lays it out: positional
// notation for -4 <= exponent < 9, exponent form otherwise, trailing zeros
// and a trailing point dropped. Writes up to 24 characters into `out`, the
// text and scratch after it, and returns the text's length.
std::size_t LayOut(std::uint32_t n, int exponent, char* out) {
  char digits[17];
  WriteDigits(n, digits);
  const int count = SignificantDigits(digits);
  if (exponent >= 0 && exponent < 9) {
    // ddd.ddd: all nine digits, then the fraction moved one place on for the point.
    const int whole = exponent + 1;
    std::memcpy(out, digits, 9);
    if (count <= whole) return static_cast<std::size_t>(whole);
    out[whole] = '.';
    std::memcpy(out + whole + 1, digits + whole, 8);
    return static_cast<std::size_t>(count + 1);
  }
  if (exponent < 0 && exponent >= -4) {
    // 0.000ddd: "0." and -exponent-1 zeros, then the digits.
    std::memcpy(out, "0.000000", 8);
    const int zeros = -exponent - 1;
    std::memcpy(out + 2 + zeros, digits, 9);
    return static_cast<std::size_t>(2 + zeros + count);
  }
  // d.ddde+XX
  out[0] = digits[0];
  out[1] = '.';
  std::memcpy(out + 2, digits + 1, 8);
  char* p = out + (count > 1 ? count + 1 : 1);
  *p++ = 'e';
  *p++ = exponent < 0 ? '-' : '+';
  const auto magnitude = static_cast<std::uint32_t>(exponent < 0 ? -exponent : exponent);
  if (magnitude >= 100) {
    *p++ = static_cast<char>('0' + magnitude / 100);
    WritePair(p, magnitude % 100);
  } else {
    WritePair(p, magnitude);
  }
  p += 2;
  return static_cast<std::size_t>(p - out);
}

// The fast way for a finite, nonzero, positive value; false when it cannot
// decide the rounding, and then nothing useful is in `out`.
bool FormatPositive(double value, char* out, std::size_t* length) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>(bits >> 52);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int q;
  if (biased == 0) {
    q = -1074;  // subnormal
  } else {
    m |= std::uint64_t{1} << 52;
    q = biased - 1075;
  }
  // Normalise the mantissa to 64 bits: value = m * 2^q, 2^63 <= m < 2^64.
  const int lead = __builtin_clzll(m);
  m <<= lead;
  q -= lead;

  // floor(log10(value)) is this or one more, since 2^(q+63) <= value < 2^(q+64).
  int exponent = DecimalExponentOfPowerOf2(q + 63);
  Uint128 scaled;
  if (!ScaleByPowerOf10(m, q, 8 - exponent, &scaled)) return false;
  if (static_cast<std::uint64_t>(scaled >> 64) >= 1000000000U) {
    ++exponent;
    if (!ScaleByPowerOf10(m, q, 8 - exponent, &scaled)) return false;
  }
  // value * 10^(8 - exponent) = whole + fraction / 2^64 + less than 2^-63.
  auto whole = static_cast<std::uint32_t>(scaled >> 64);
  const auto fraction = static_cast<std::uint64_t>(scaled);
  constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
  constexpr std::uint64_t kUndecided = 8;  // a margin above the 2 units of error
  if (fraction >= kHalf - kUndecided && fraction <= kHalf) return false;  // at or near a tie
  if (fraction > kHalf) ++whole;
  if (whole == 1000000000U) {  // rounded up to the next power of ten
    whole = 100000000U;
    ++exponent;
  }
  if (whole < 100000000U) return false;  // cannot happen; never guess
  *length = LayOut(whole, exponent, out);
  return true;
}

#endif  // __SIZEOF_INT128__

// A whole number below 10^9 has at most nine digits, all of them exact:
// "%.9g" writes it as the integer it is.
inline std::size_t FormatWhole(std::uint32_t n, char* out) {
  char digits[10];
  char* p = digits + sizeof digits;
  while (n >= 100) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (n % 100), 2);
    n /= 100;
  }
  if (n >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * n, 2);
  } else {
    *--p = static_cast<char>('0' + n);
  }
  const auto length = static_cast<std::size_t>(digits + sizeof digits - p);
  std::memcpy(out, p, length);
  return length;
}

// FormatValue's work, inlined into the writer's loop.
inline std::size_t Format(double value, char* buffer) noexcept {
  if (!std::isfinite(value)) {
    const char* text = std::isinf(value) ? (value < 0 ? "-INF" : "+INF")
                                         : (std::signbit(value) ? "-NAN" : "+NAN");
    std::memcpy(buffer, text, 4);
    return 4;
  }
  if (value > 0.0 && value < 1e9) {
    const auto whole = static_cast<std::uint32_t>(value);
    if (static_cast<double>(whole) == value) return FormatWhole(whole, buffer);
  }
#if defined(__SIZEOF_INT128__)
  if (value != 0.0) {
    const bool negative = value < 0;
    char* digits = buffer;
    if (negative) *digits++ = '-';
    std::size_t length = 0;
    if (FormatPositive(negative ? -value : value, digits, &length)) {
      return length + (negative ? 1 : 0);
    }
  }
#endif
  return FormatGeneral(value, buffer);
}

}  // namespace

std::size_t TFlatFiler::FormatValue(double value, char* buffer) noexcept {
  return Format(value, buffer);
}

void TFlatFiler::WriteData(std::ostream& out, Data* table) {
  MBRK_ASSERT(table != nullptr);
  const std::int32_t rows = table->MbrNdxDataRows;
  const std::int32_t inputs = table->MbrLngInputs > 0 ? table->MbrLngInputs : 0;
  const std::int32_t outputs = table->MbrLngOutputs > 0 ? table->MbrLngOutputs : 0;
  table->MbrNdxCursor = table->MbrNdxLast;
  // A table without rows may still be two billion values wide: nothing is
  // made for rows that are not there.
  if (rows <= 0) return;
  // A column selection makes GetNextRow deliver as many values as it selects,
  // which may be more than the row is wide (a column may be selected twice):
  // the row buffers take either count. The line holds the full widths.
  const std::int32_t input_room =
      table->MbrDyaNdxInputSelection != nullptr && table->MbrLngInputSelection > inputs
          ? table->MbrLngInputSelection
          : inputs;
  const std::int32_t output_room =
      table->MbrDyaNdxOutputSelection != nullptr && table->MbrLngOutputSelection > outputs
          ? table->MbrLngOutputSelection
          : outputs;
  std::vector<double> input_row(static_cast<std::size_t>(input_room));
  std::vector<double> output_row(static_cast<std::size_t>(output_room));
  // A line is built whole, every value straight into place, and handed to the
  // stream in one piece.
  const auto width = static_cast<std::size_t>(inputs) + static_cast<std::size_t>(outputs);
  std::vector<char> line(width * (kMaxValueText + 1) + 1);

  for (std::int32_t row = 0; row < rows; ++row) {
    table->GetNextRow(input_row.data(), output_row.data(), nullptr);
    char* p = line.data();
    for (std::int32_t j = 0; j < inputs; ++j) {
      p += Format(input_row[static_cast<std::size_t>(j)], p);
      *p++ = ' ';
    }
    for (std::int32_t j = 0; j < outputs; ++j) {
      p += Format(output_row[static_cast<std::size_t>(j)], p);
      *p++ = ' ';
    }
    *p++ = '\n';
    out.write(line.data(), static_cast<std::streamsize>(p - line.data()));
    // Every completed line reaches the file at once, so a failure later on
    // leaves every row written before it in place, and anyone reading the file
    // meanwhile sees every line completed so far. This costs one write to the
    // system per line (on a large file about half of a conversion's time);
    // handing the system several lines at a time would be cheaper, but the
    // file would then lag behind the rows written, so the flush stays.
    out.flush();
  }
}

void TFlatFiler::SaveData(const char* filename, Data* table) {
  std::ofstream out(filename, std::ios::out | std::ios::trunc);
  if (!out.good()) {
    throw TException("Unable to open file", "File Error", "TFlatFiler::SaveData", nullptr);
  }
  WriteData(out, table);
  const bool written = out.good();
  out.close();
  if (!written || out.fail()) {
    throw TException("Unable to write file", "File Error", "TFlatFiler::SaveData", nullptr);
  }
}

// ---- Reading flat files ---------------------------------------------------------

namespace {

void CheckShape(std::int32_t rows, std::int32_t inputs, std::int32_t outputs,
                const char* location) {
  const char* message = rows < 0     ? "Invalid Number of Rows"
                        : inputs < 0  ? "Invalid Number of Inputs"
                        : outputs < 0 ? "Invalid Number of Outputs"
                                      : nullptr;
  if (message != nullptr) throw TException(message, "Bad Parameter", location, nullptr);
}

inline bool IsClassicSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The collected text as the library converts it: the whole text must be a
// number, else 0 and a failed stream.
std::ios::iostate ConvertCollected(const std::string& text, double& value) {
  const char* first = text.data();
  const char* const last = first + text.size();
  if (first != last && *first == '+') ++first;  // from_chars takes no "+"
  double result = 0.0;
  const std::from_chars_result done = std::from_chars(first, last, result);
  if (done.ec == std::errc() && done.ptr == last) {
    // Correctly rounded, as the library's strtod is.
    value = result;
    return std::ios::goodbit;
  }
  if (done.ec == std::errc::result_out_of_range) {
    // Beyond the range of a double (the largest double and a failed stream)
    // or below it (the nearest tiny value, accepted): the library itself
    // decides, on the same text, which it collects again unchanged.
    std::istringstream again(text);
    again.imbue(std::locale::classic());
    again >> value;
    return again.fail() ? std::ios::failbit : std::ios::goodbit;
  }
  value = 0.0;
  return std::ios::failbit;
}

// `in >> value` for a stream that reads numbers as the classic locale does,
// skips white space and throws nothing, with the characters taken straight
// from its buffer: a sentry and the locale's machinery per number cost
// several times the scanning itself. Step by step it is the library's
// extraction: white space is skipped (the end of the input there fails the
// stream and leaves the value alone); then [+-], leading zeros (kept as one
// "0"), digits, one "." before any exponent, and "e" or "E" after a mantissa
// digit with an optional sign are collected, and the first other character
// ends the number and stays unread; the collected text is converted as a
// whole; reaching the end of the input adds the end-of-file state.
void ExtractClassic(std::istream& in, double& value, std::string& text) {
  constexpr int kEof = std::char_traits<char>::eof();
  if (!in.good()) {
    in.setstate(std::ios::failbit);
    return;
  }
  std::streambuf* const sb = in.rdbuf();
  std::ios::iostate state = std::ios::goodbit;
  try {
    int c = sb->sgetc();
    while (c != kEof && IsClassicSpace(c)) c = sb->snextc();
    if (c == kEof) {
      in.setstate(std::ios::eofbit | std::ios::failbit);
      return;
    }
    text.clear();
    if (c == '+' || c == '-') {
      text.push_back(static_cast<char>(c));
      c = sb->snextc();
    }
    bool mantissa = false;
    while (c == '0') {
      if (!mantissa) text.push_back('0');
      mantissa = true;
      c = sb->snextc();
    }
    bool point = false;
    bool exponent = false;
    while (c != kEof) {
      if (c >= '0' && c <= '9') {
        text.push_back(static_cast<char>(c));
        mantissa = true;
      } else if (c == '.' && !point && !exponent) {
        text.push_back('.');
        point = true;
      } else if ((c == 'e' || c == 'E') && !exponent && mantissa) {
        text.push_back('e');
        exponent = true;
        c = sb->snextc();
        if (c == '+' || c == '-') {
          text.push_back(static_cast<char>(c));
        } else {
          continue;  // the character after "e" is looked at afresh
        }
      } else {
        break;
      }
      c = sb->snextc();
    }
    if (c == kEof) state |= std::ios::eofbit;
    state |= ConvertCollected(text, value);
  } catch (...) {
    // A buffer that throws is reported as the library reports it.
    in.setstate(std::ios::badbit);
    return;
  }
  in.setstate(state);
}

// Whether ExtractClassic is exactly `in >> value` on this stream.
bool ReadsAsClassic(const std::istream& in) {
  return (in.flags() & std::ios::skipws) != 0 && in.exceptions() == std::ios::goodbit &&
         in.getloc() == std::locale::classic();
}

// Extracts the row's values one by one. Once the stream has failed, an
// extraction's sentry would leave the value untouched; skipping it does the
// same without the cost.
void ReadValues(std::istream& in, bool classic, std::string& text, std::vector<double>& values) {
  for (double& value : values) {
    if (!in) return;
    if (classic) {
      ExtractClassic(in, value, text);
    } else {
      in >> value;
    }
  }
}

}  // namespace

void TFlatFiler::ReadData(std::istream& in, Data*& table, std::int32_t rows, std::int32_t inputs,
                          std::int32_t outputs) {
  CheckShape(rows, inputs, outputs, "TFlatFiler::ReadData");
  // Zeroed: a position that the file cannot supply in the first row reads
  // as 0.0; later rows repeat the previous row's value there.
  std::vector<double> input_row(static_cast<std::size_t>(inputs));
  std::vector<double> output_row(static_cast<std::size_t>(outputs));
  table = new Data(rows, inputs, outputs, false);
  const bool classic = ReadsAsClassic(in);
  // What each extraction's sentry would do first; nothing is written to the
  // tied stream in between.
  if (classic && rows > 0 && (inputs > 0 || outputs > 0) && in.good() && in.tie() != nullptr) {
    in.tie()->flush();
  }
  std::string text;
  for (std::int32_t row = 0; row < rows; ++row) {
    ReadValues(in, classic, text, input_row);
    ReadValues(in, classic, text, output_row);
    table->AppendRow(inputs > 0 ? input_row.data() : nullptr,
                     outputs > 0 ? output_row.data() : nullptr, nullptr);
  }
}

void TFlatFiler::LoadData(const char* filename, Data*& table, std::int32_t rows,
                          std::int32_t inputs, std::int32_t outputs) {
  MBRK_ASSERT(filename != nullptr);
  CheckShape(rows, inputs, outputs, "TFlatFiler::LoadData");
  // A folder opens like a file here but reads as nothing at all.
  std::error_code ignored;
  std::ifstream in;
  if (!std::filesystem::is_directory(filename, ignored)) in.open(filename);
  if (!in.good() || !in.is_open()) {
    throw TException("Unable to open file for input", "File Error", "TFlatFiler::LoadData",
                     nullptr);
  }
  ReadData(in, table, rows, inputs, outputs);
  in.close();
}

}  // namespace mbrk
