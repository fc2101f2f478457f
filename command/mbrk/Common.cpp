#include "command/mbrk/Common.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <istream>
#include <new>
#include <ostream>
#include <system_error>
#include <utility>

#include "command/mbrk/Files.h"

namespace mbrk::cli {

namespace {

// Characters a terminal shows for `text`: UTF-8 continuation bytes take none.
std::size_t ShownWidth(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace

std::string ShownName(const std::string& path) { return path == "-" ? "<stdin>" : path; }

std::string Describe(const std::string& path, const std::exception& error) {
  const std::string name = ShownName(path);
  if (const auto* format = dynamic_cast<const FormatError*>(&error)) {
    if (format->Line() <= 0) return name + ": " + format->Message();
    return name + ":" + std::to_string(format->Line()) + ":" + std::to_string(format->Column()) +
           ": " + format->Message();
  }
  if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
    return name + ": " + system->code().message();
  }
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    return name + ": Not enough memory";
  }
  return name + ": " + error.what();
}

Dataset ReadSource(const std::string& path, const Console& console, Progress& progress, bool strict,
                   unsigned threads) {
  ReadOptions options;
  options.threads = threads;
  options.strict = strict;
  // A file by name goes to the reader as it is unless its bytes are counted
  // for the progress line (a compressed one always: the reader knows how to
  // open it).
  if (path != "-" && (!progress.Shown() || CompressionOf(path) != "none")) {
    return ReadDataset(path, options);
  }
  const OpenedSource source = OpenSource(path, console.in_fd);
  CountingBuffer buffer(source.fd, source.owned, &progress.Bytes());
  std::istream in(&buffer);
  return ReadDataset(in, options);
}

namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The eight digits of n < 10^8, leading zeros included.
void WriteEightDigits(std::uint32_t n, char* out) {
  const std::uint32_t high = n / 10000;
  const std::uint32_t low = n % 10000;
  std::memcpy(out, kDigitPairs + 2 * (high / 100), 2);
  std::memcpy(out + 2, kDigitPairs + 2 * (high % 100), 2);
  std::memcpy(out + 4, kDigitPairs + 2 * (low / 100), 2);
  std::memcpy(out + 6, kDigitPairs + 2 * (low % 100), 2);
}

// How many of the eight digits at `p` are '0' at their end.
int TrailingZeros(const char* p) {
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // The last digit is the highest byte: the zero bytes above the highest
  // one that differs from '0'.
  std::uint64_t bytes = 0;
  std::memcpy(&bytes, p, sizeof bytes);
  bytes ^= 0x3030303030303030ULL;
  return bytes == 0 ? 8 : __builtin_clzll(bytes) / 8;
#else
  int count = 0;
  while (count < 8 && p[7 - count] == '0') ++count;
  return count;
#endif
}

// The text std::to_chars gives for `value`, found faster where that is sure;
// null elsewhere. For a magnitude from 1e-7 to 1e15, take the decimal of 15
// significant digits nearest to it: an integer below 2^53 over a power of
// ten up to 1e22, both exact, so their quotient is the double that reading
// the decimal gives. When that is `value`, the decimal is the only one of 15
// digits that reads back (they lie further apart than doubles there), so
// the shortest digits that read back are it without its trailing zeros.
// Written in fixed notation where that is not longer than the scientific
// one, as to_chars chooses. `to` has room for 32 characters: the digits are
// moved in fixed pieces of 16, which the compiler lays out as two stores,
// and what lands past the text's end is left there.
char* WriteShortDecimal(double value, char* to) {
  const double magnitude = std::fabs(value);
  if (!(magnitude >= 1e-7 && magnitude < 1e15)) return nullptr;
  // Digits before the point, or minus the zeros after it: from the binary
  // exponent (times log10(2): the count or one less), then one comparison.
  // Every magnitude here is a normal double.
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int exponent = static_cast<int>(bits >> 52) - 1022;
  int whole = ((exponent - 1) * 1233 >> 12) + 1;
  if (whole >= 1 ? magnitude >= kPowersOfTen[whole] : magnitude * kPowersOfTen[-whole] >= 1) {
    ++whole;
  }
  const int decimals = 15 - whole;
  const auto digits = static_cast<std::uint64_t>(magnitude * kPowersOfTen[decimals] + 0.5);
  // Fifteen digits, or the digits do not stand where the magnitude says.
  if (digits < 100000000000000 || digits >= 1000000000000000) return nullptr;
  if (static_cast<double>(digits) / kPowersOfTen[decimals] != magnitude) return nullptr;
  // "0" and the fifteen digits; room behind them for the pieces of 16.
  char text[32] = {};
  WriteEightDigits(static_cast<std::uint32_t>(digits / 100000000), text);
  WriteEightDigits(static_cast<std::uint32_t>(digits % 100000000), text + 8);
  const char* const first = text + 1;
  const int zeros = TrailingZeros(text + 8);
  const int trailing = zeros < 8 ? zeros : 8 + TrailingZeros(text);
  // A whole number ending in 0 may be shorter in scientific notation.
  if (trailing > decimals) return nullptr;
  const int length = 15 - trailing;
  if (value < 0) *to++ = '-';
  if (whole <= 0) {
    // 0.00ddd against d.dde-XX: fixed when not longer.
    const int lead = -whole;
    if (2 + lead + length > length + (length > 1 ? 1 : 0) + 4) return nullptr;
    std::memcpy(to, "0.000000", 8);
    std::memcpy(to + 2 + lead, first, 16);
    return to + 2 + lead + length;
  }
  std::memcpy(to, first, 16);
  if (length == whole) return to + whole;
  to[whole] = '.';
  std::memcpy(to + whole + 1, first + whole, 16);
  return to + length + 1;
}

}  // namespace

char* WriteExact(double value, char* to) {
  if (std::isnan(value)) return std::copy_n("nan", 3, to);
  if (std::isinf(value)) return value < 0 ? std::copy_n("-inf", 4, to) : std::copy_n("inf", 3, to);
  if (char* end = WriteShortDecimal(value, to)) return end;
  return std::to_chars(to, to + 32, value).ptr;
}

std::string ExactText(double value) {
  char text[32];
  return std::string(text, WriteExact(value, text));
}

void PrintTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& right) {
  std::vector<std::size_t> widths(header.size(), 0);
  for (std::size_t c = 0; c < header.size(); ++c) widths[c] = ShownWidth(header[c]);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
      widths[c] = std::max(widths[c], ShownWidth(row[c]));
    }
  }
  std::string line;
  auto print = [&](const std::vector<std::string>& cells) {
    line.clear();
    for (std::size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
      const std::string pad(widths[c] - ShownWidth(cells[c]), ' ');
      if (c != 0) line += "  ";
      const bool last = c + 1 == cells.size();
      if (c < right.size() && right[c]) {
        line += pad + cells[c];
      } else {
        line += cells[c];
        if (!last) line += pad;
      }
    }
    line += '\n';
    out << line;
  };
  print(header);
  for (const auto& row : rows) print(row);
}

}  // namespace mbrk::cli
