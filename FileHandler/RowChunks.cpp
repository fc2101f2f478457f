// The chunks of a row scan: plain numbers counted in runs, every other unit
// one by one, and the units checked against the rows' pattern.
#include "FileHandler/internal/RowChunks.h"

#include <algorithm>

#include "Base/internal/NumberText.h"
#include "FileHandler/internal/Lexer.h"

namespace mbrk::row_units {

namespace {

// The most bytes of one run of plain numbers: a row's end within it is found
// by counting through it again.
constexpr std::size_t kRunBytes = 1024;

// The common single unit: a word that begins with a digit (after a sign),
// ended by a separator, which is consumed with it. Returns its end, or 0.
inline std::size_t PlainNumber(const unsigned char* at, std::size_t p, std::size_t held) {
  const std::size_t word = p;
  while (p < held && IsWordByte(at[p])) ++p;
  if (p == held || !IsSeparator(at[p])) return 0;
  const std::size_t first = at[word] == '-' || at[word] == '+' ? word + 1 : word;
  // "0x" without hexadecimal digits is no number: ScanUnit decides.
  const bool hexadecimal = at[first] == '0' && (at[first + 1] | 0x20) == 'x';
  return IsDigit(at[first]) && !hexadecimal ? p + 1 : 0;
}

void AddUnit(Chunk& chunk, std::size_t from, std::size_t to, std::uint32_t count, bool list,
             bool run) {
  chunk.entries.push_back(
      Entry{static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to), count, list, run});
  chunk.units += count;
}

// Where the row reader stands after unit `k` of entry `entry`.
std::size_t EndOf(const Bytes& b, const Entry& entry, std::uint64_t k) {
  return entry.run ? AfterWord(b, entry.from, entry.to, static_cast<std::uint32_t>(k)) : entry.to;
}

// How many of the entry's units, from unit `unit` on, fit the pattern.
std::uint64_t Fitting(const Pattern& pattern, const Entry& entry, std::uint64_t unit) {
  const std::uint64_t column = unit % pattern.per_row;
  const std::uint64_t room = pattern.total - unit;
  if (entry.list) return column >= pattern.numbers && room != 0 ? 1 : 0;
  if (column >= pattern.numbers) return 0;
  // Rows of numbers only go on from row to row; otherwise the numbers stop
  // where the row's lists begin.
  const std::uint64_t most = pattern.numbers == pattern.per_row ? room : pattern.numbers - column;
  return std::min<std::uint64_t>(entry.count, std::min(most, room));
}

}  // namespace

void ScanChunk(const Bytes& b, std::size_t from, Chunk& chunk) {
  chunk.entries.clear();
  chunk.units = 0;
  chunk.how = Stop::kWhole;
  const auto* const at = reinterpret_cast<const unsigned char*>(b.at);
  const std::size_t end = chunk.end;
  std::size_t p = from;
  chunk.stop = from;
  for (;;) {
    while (p < end && IsSeparator(at[p])) ++p;
    if (p >= end) return;
    std::uint32_t count = 0;
    const std::size_t after = PlainRun(b, p, std::min(end, p + kRunBytes), count);
    if (count != 0) {
      AddUnit(chunk, p, after, count, false, true);
      p = chunk.stop = after;
      continue;
    }
    const std::size_t plain = PlainNumber(at, p, b.held);
    if (plain != 0) {
      AddUnit(chunk, p, plain, 1, false, false);
      p = chunk.stop = plain;
      continue;
    }
    const Step step = ScanUnit(b, p);
    if (step.found == Found::kForeign || step.found == Found::kShort) {
      chunk.how = step.found == Found::kShort ? Stop::kShort : Stop::kForeign;
      chunk.stop = p;
      return;
    }
    if (step.found != Found::kComment)
      AddUnit(chunk, p, step.end, 1, step.found == Found::kList, false);
    p = chunk.stop = step.end;
  }
}

void CheckChunk(const Bytes& b, const Pattern& pattern, Chunk& chunk) {
  chunk.marks.clear();
  chunk.last_row = -1;
  chunk.complete = true;
  std::uint64_t unit = chunk.first_unit;
  const Entry* last = nullptr;
  std::uint64_t last_k = 0;
  for (const Entry& entry : chunk.entries) {
    const std::uint64_t fit = Fitting(pattern, entry, unit);
    // The rows that end within the fitting units: row r ends with unit
    // r * per_row - 1.
    const std::uint64_t first_row = unit / pattern.per_row + 1;
    const std::uint64_t end_row = (unit + fit) / pattern.per_row;
    for (std::uint64_t row = first_row; row <= end_row; ++row) {
      const std::uint64_t k = row * pattern.per_row - 1 - unit;
      if (row % static_cast<std::uint64_t>(pattern.every) == 0 &&
          row < static_cast<std::uint64_t>(pattern.rows)) {
        chunk.marks.push_back(EndOf(b, entry, k));
      }
      last = &entry;
      last_k = k;
      chunk.last_row = static_cast<std::int32_t>(row);
    }
    unit += fit;
    if (fit != entry.count || unit == pattern.total) {
      chunk.complete = false;
      break;
    }
  }
  chunk.good = unit - chunk.first_unit;
  if (last != nullptr) chunk.last_row_end = EndOf(b, *last, last_k);
}

}  // namespace mbrk::row_units
