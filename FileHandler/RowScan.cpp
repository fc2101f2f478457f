// The rows of a data block scanned on several threads, piece by piece: a
// piece of the input is read into memory and cut into chunks (after a line
// end where one is near: the writer ends rows there, so a label list is
// seldom cut); every chunk is scanned at once as if it began between words,
// noting where each word or label list ends (phase one). In file order, a
// chunk whose predecessor ran past its start (a list or a comment across the
// cut) is scanned again from where that one stopped. With each chunk's first
// word numbered, the chunks check their words against the rows' pattern (so
// many numbers, then the label lists) and note where the rows that matter
// end (phase two).
#include "FileHandler/internal/RowScan.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <streambuf>
#include <system_error>
#include <thread>
#include <utility>

#include "Base/internal/NumberText.h"
#include "Base/internal/Text.h"
#include "FileHandler/internal/Lexer.h"

namespace mbrk {

namespace {

constexpr std::uint32_t kListBit = 0x80000000u;
// How far past a chunk's nominal end a line end is looked for.
constexpr std::size_t kLineReach = 4096;

// Calls work(0) .. work(count - 1) on up to `threads` threads, the calling
// one among them, and rethrows the first exception any of them threw.
template <typename Work>
void RunParallel(unsigned threads, std::size_t count, const Work& work) {
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::mutex failure_mutex;
  const auto take = [&] {
    for (std::size_t i = next++; i < count; i = next++) {
      try {
        work(i);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(failure_mutex);
        if (!failure) failure = std::current_exception();
      }
    }
  };
  std::vector<std::thread> helpers;
  const std::size_t wanted = std::min<std::size_t>(threads, count);
  for (std::size_t t = 1; t < wanted; ++t) {
    try {
      helpers.emplace_back(take);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: fewer do the work
    }
  }
  take();
  for (std::thread& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);
}

// Whether the word [p, q) is a number as the readers take it: checked, not
// converted, where it begins with digits; the rare others are converted.
bool NumberWord(const char* p, const char* q) {
  const char* s = p + (*p == '+' || *p == '-' ? 1 : 0);
  if (s != q && IsDigit(*s)) return true;
  if (s + 1 < q && *s == '.' && IsDigit(s[1])) return true;
  double ignored;
  return ConvertNumber(p, static_cast<std::size_t>(q - p), &ignored);
}

// What ScanUnit found.
enum class Found { kUnit, kList, kComment, kForeign, kShort };
struct Step {
  Found found;
  std::size_t end;  // just past it, as the row reader leaves the stream
};

// The bytes of a piece: [0, held), the input ending there when `ends`.
struct Bytes {
  const char* at;
  std::size_t held;
  bool ends;

  int operator[](std::size_t i) const { return ByteOf(at[i]); }
  bool Separator(std::size_t i) const { return IsSeparator(ByteOf(at[i])); }
  bool Word(std::size_t i) const { return IsWordByte(ByteOf(at[i])); }
  std::size_t SkipSeparators(std::size_t i) const {
    while (i < held && Separator(i)) ++i;
    return i;
  }
  std::size_t SkipWord(std::size_t i) const {
    while (i < held && Word(i)) ++i;
    return i;
  }
  Step Short() const { return Step{ends ? Found::kForeign : Found::kShort, 0}; }
};

// A comment at `p` ("/*", not "/*/", whose readings differ between tokens
// and before label lists), skipped as the token reader skips it.
Step ScanComment(const Bytes& b, std::size_t p) {
  if (p + 2 >= b.held) return b.Short();
  if (b[p + 1] != '*' || b[p + 2] == '/') return Step{Found::kForeign, 0};
  std::uint64_t depth = 1;
  int previous = ' ';
  for (std::size_t q = p + 2; q < b.held; ++q) {
    const int c = b[q];
    if (previous == '*' && c == '/') {
      if (--depth == 0) return Step{Found::kComment, q + 1};
      previous = '*';
    } else if (previous == '/' && c == '*') {
      ++depth;
      previous = ' ';
    } else {
      previous = c;
    }
  }
  return b.Short();
}

// A word at `p` standing for a number.
Step ScanNumber(const Bytes& b, std::size_t p) {
  const std::size_t q = b.SkipWord(p);
  if (q == b.held) return b.Short();
  if (!NumberWord(b.at + p, b.at + q)) return Step{Found::kForeign, 0};
  // The separator that ends a word is consumed with it; a special
  // character is left to begin what follows.
  if (b.Separator(q)) return Step{Found::kUnit, q + 1};
  if (b[q] == '[') return Step{Found::kUnit, q};
  if (b[q] == '/' && q + 1 < b.held && b[q + 1] == '*') return Step{Found::kUnit, q};
  return q + 1 < b.held ? Step{Found::kForeign, 0} : b.Short();
}

// One item of a label list at `q` (a word): its name, and "=" with a number
// after it or not. Sets `q` past it and `closed` when "]" closed the list.
Found ScanLabel(const Bytes& b, std::size_t& q, bool& closed) {
  q = b.SkipWord(q);
  if (q < b.held && b.Separator(q)) ++q;
  q = b.SkipSeparators(q);
  if (q == b.held) return Found::kShort;
  if (b[q] == '=') {
    q = b.SkipSeparators(q + 1);
    if (q == b.held) return Found::kShort;
    if (!b.Word(q)) return Found::kForeign;
    const std::size_t value = q;
    q = b.SkipWord(q);
    if (q == b.held) return Found::kShort;
    if (!NumberWord(b.at + value, b.at + q)) return Found::kForeign;
    if (b.Separator(q)) ++q;
    q = b.SkipSeparators(q);
    if (q == b.held) return Found::kShort;
  }
  closed = b[q] == ']';
  if (closed) ++q;
  return closed || b.Word(q) ? Found::kList : Found::kForeign;
}

bool IsFormatVersion(const char* name, std::size_t length) {
  static constexpr char kName[] = "FORMATVERSION";
  if (length != sizeof kName - 1) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const int c = ByteOf(name[i]);
    if ((c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) != kName[i]) return false;
  }
  return true;
}

// A label list at `p` ("["). A list that opens like an end tag or a format
// version element is left to the row reader, which tells them apart.
Step ScanList(const Bytes& b, std::size_t p) {
  std::size_t q = b.SkipSeparators(p + 1);
  if (q == b.held) return b.Short();
  if (b[p + 1] == '~') return Step{Found::kForeign, 0};
  if (b[q] == ']') return Step{Found::kList, q + 1};
  const std::size_t name_end = b.SkipWord(q);
  if (name_end == b.held) return b.Short();
  if (IsFormatVersion(b.at + q, name_end - q)) return Step{Found::kForeign, 0};
  for (bool closed = false; !closed;) {
    if (!b.Word(q)) return Step{Found::kForeign, 0};
    const Found found = ScanLabel(b, q, closed);
    if (found == Found::kShort) return b.Short();
    if (found == Found::kForeign) return Step{Found::kForeign, 0};
  }
  return Step{Found::kList, q};
}

Step ScanUnit(const Bytes& b, std::size_t p) {
  if (b.Word(p)) return ScanNumber(b, p);
  if (b[p] == '[') return ScanList(b, p);
  if (b[p] == '/') return ScanComment(b, p);
  return Step{Found::kForeign, 0};
}

enum class Stop { kWhole, kForeign, kShort };

struct Chunk {
  std::size_t begin = 0;
  std::size_t end = 0;
  // Phase one: where scanning stopped (past the last word, list or comment,
  // or at the first thing not taken), how, and where each unit ends.
  std::size_t stop = 0;
  Stop how = Stop::kWhole;
  std::vector<std::uint32_t> units;  // kListBit marks a label list
  // Phase two.
  std::uint64_t first_unit = 0;
  std::size_t checked = 0;  // units that fit the rows' pattern
  std::int32_t last_row = -1;
  std::uint32_t last_row_end = 0;
  std::vector<std::pair<std::int32_t, std::uint32_t>> marks;  // rows wanted, their ends
};

// Phase one for `chunk`, from `from`: the units that begin before its end.
void ScanChunk(const Bytes& b, std::size_t from, Chunk& chunk) {
  chunk.units.clear();
  chunk.how = Stop::kWhole;
  std::size_t p = from;
  chunk.stop = from;
  for (;;) {
    while (p < chunk.end && b.Separator(p)) ++p;
    if (p >= chunk.end) return;
    const Step step = ScanUnit(b, p);
    if (step.found == Found::kForeign || step.found == Found::kShort) {
      chunk.how = step.found == Found::kShort ? Stop::kShort : Stop::kForeign;
      chunk.stop = p;
      return;
    }
    if (step.found != Found::kComment) {
      chunk.units.push_back(static_cast<std::uint32_t>(step.end) |
                            (step.found == Found::kList ? kListBit : 0));
    }
    p = chunk.stop = step.end;
  }
}

// The rows' pattern: `numbers` words, then `lists` label lists.
struct Pattern {
  std::uint64_t numbers;
  std::uint64_t per_row;
  std::uint64_t total;  // units of all the rows
  std::int32_t rows;
  std::int32_t every;
};

// Phase two for `chunk`, whose first unit is chunk.first_unit.
void CheckChunk(const Pattern& pattern, Chunk& chunk) {
  chunk.marks.clear();
  chunk.last_row = -1;
  std::uint64_t unit = chunk.first_unit;
  std::uint64_t column = unit % pattern.per_row;
  std::size_t k = 0;
  for (; k < chunk.units.size() && unit < pattern.total; ++k) {
    const bool list = (chunk.units[k] & kListBit) != 0;
    if (list != (column >= pattern.numbers)) break;
    ++unit;
    if (++column != pattern.per_row) continue;
    column = 0;
    const auto row = static_cast<std::int32_t>(unit / pattern.per_row);
    chunk.last_row = row;
    chunk.last_row_end = chunk.units[k] & ~kListBit;
    if (row % pattern.every == 0 && row < pattern.rows) {
      chunk.marks.emplace_back(row, chunk.last_row_end);
    }
  }
  chunk.checked = k;
}

// Cuts [0, length) into chunks of about `size` bytes, each ending after a
// line end near its nominal end, else after a separator.
void CutChunks(const Bytes& b, std::size_t length, std::size_t size, std::vector<Chunk>& chunks,
               std::size_t& count) {
  count = 0;
  for (std::size_t begin = 0; begin < length; ++count) {
    std::size_t end = std::min(begin + size, length);
    if (end < length) {
      const std::size_t reach = std::min(end + kLineReach, length);
      const void* line = std::memchr(b.at + end - 1, '\n', reach - end + 1);
      if (line != nullptr) {
        end = static_cast<std::size_t>(static_cast<const char*>(line) - b.at) + 1;
      } else {
        while (!b.Separator(end - 1)) ++end;
      }
    }
    if (count == chunks.size()) chunks.emplace_back();
    chunks[count].begin = begin;
    chunks[count].end = end;
    begin = end;
  }
}

// Where the piece's scanned part ends: after its last line end, else after
// its last separator (0 when it has none); all of it when the input ends.
std::size_t ScannedLength(const Bytes& b) {
  if (b.ends) return b.held;
  const std::size_t from = b.held > kLineReach * 16 ? b.held - kLineReach * 16 : 0;
  for (std::size_t i = b.held; i > from; --i) {
    if (b.at[i - 1] == '\n') return i;
  }
  std::size_t length = b.held;
  while (length != 0 && !b.Separator(length - 1)) --length;
  return length;
}

std::size_t Fill(std::streambuf& sb, char* buffer, std::size_t from, std::size_t size) {
  while (from < size) {
    const std::streamsize got = sb.sgetn(buffer + from, static_cast<std::streamsize>(size - from));
    if (got <= 0) break;
    from += static_cast<std::size_t>(got);
  }
  return from;
}

}  // namespace

namespace {

// The scan's progress across pieces.
class Scanner {
 public:
  Scanner(const Pattern& pattern, const RowScanOptions& options, std::vector<std::int64_t>& offsets)
      : pattern_(pattern), options_(options), offsets_(offsets) {}

  // Scans the piece; returns where the next piece must begin, or 0 when the
  // scan is over.
  std::size_t Piece(const Bytes& b, std::int64_t piece_start);

  RowScanResult result() const { return result_; }

 private:
  // Phase one and the walk in file order; returns the chunks whose units
  // count and sets how the last of them stopped.
  std::size_t FirstPhase(const Bytes& b, std::size_t count, Stop& how);
  // Phase two and the offsets, in file order; false once the scan is over.
  bool SecondPhase(std::size_t valid, std::int64_t piece_start);

  const Pattern& pattern_;
  const RowScanOptions& options_;
  std::vector<std::int64_t>& offsets_;
  std::vector<Chunk> chunks_;
  std::uint64_t units_ = 0;  // units taken so far
  RowScanResult result_;
};

std::size_t Scanner::FirstPhase(const Bytes& b, std::size_t count, Stop& how) {
  RunParallel(options_.threads, count,
              [&](std::size_t i) { ScanChunk(b, chunks_[i].begin, chunks_[i]); });
  std::size_t at = 0;  // where the previous chunk stopped
  for (std::size_t i = 0; i < count; ++i) {
    Chunk& chunk = chunks_[i];
    if (at > chunk.begin) ScanChunk(b, at, chunk);  // the one before ran into it
    if (chunk.how != Stop::kWhole) {
      how = chunk.how;
      return i + 1;
    }
    at = std::max(at, chunk.stop);
  }
  how = Stop::kWhole;
  return count;
}

bool Scanner::SecondPhase(std::size_t valid, std::int64_t piece_start) {
  std::uint64_t unit = units_;
  for (std::size_t i = 0; i < valid; ++i) {
    chunks_[i].first_unit = unit;
    unit += chunks_[i].units.size();
  }
  RunParallel(options_.threads, valid, [&](std::size_t i) { CheckChunk(pattern_, chunks_[i]); });
  for (std::size_t i = 0; i < valid; ++i) {
    const Chunk& chunk = chunks_[i];
    for (const auto& [row, end] : chunk.marks) offsets_.push_back(piece_start + end);
    if (chunk.last_row >= 0) {
      result_.rows = chunk.last_row;
      result_.end = piece_start + chunk.last_row_end;
    }
    units_ = chunk.first_unit + chunk.checked;
    if (chunk.checked != chunk.units.size() || units_ == pattern_.total) return false;
  }
  return true;
}

std::size_t Scanner::Piece(const Bytes& b, std::int64_t piece_start) {
  const std::size_t length = ScannedLength(b);
  if (length == 0) return 0;
  std::size_t count = 0;
  CutChunks(b, length, options_.chunk_bytes, chunks_, count);
  Stop how = Stop::kWhole;
  const std::size_t valid = FirstPhase(b, count, how);
  if (!SecondPhase(valid, piece_start) || how == Stop::kForeign || b.ends) return 0;
  const Chunk& last = chunks_[valid - 1];
  return how == Stop::kShort ? last.stop : std::max(length, last.stop);
}

}  // namespace

RowScanResult ScanRows(std::istream& in, const RowLayout& layout, std::int32_t rows,
                       std::int32_t every, std::vector<std::int64_t>& offsets,
                       const RowScanOptions& options) {
  const std::uint64_t numbers =
      static_cast<std::uint64_t>(layout.inputs) + static_cast<std::uint64_t>(layout.expected) +
      static_cast<std::uint64_t>(layout.generated) + static_cast<std::uint64_t>(layout.errors);
  const std::uint64_t lists = (layout.labels1 ? 1 : 0) + (layout.labels2 ? 1 : 0);
  if (rows <= 0 || every <= 0 || numbers + lists == 0 || !in.good()) return RowScanResult{};
  std::streambuf* const sb = in.rdbuf();
  const std::streamoff base = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  if (base < 0) return RowScanResult{};
  const Pattern pattern{numbers, numbers + lists,
                        static_cast<std::uint64_t>(rows) * (numbers + lists), rows, every};
  offsets.push_back(0);
  RowScanOptions settings = options;
  settings.chunk_bytes = std::max<std::size_t>(settings.chunk_bytes, 64);
  settings.piece_bytes = std::max(settings.piece_bytes, 2 * settings.chunk_bytes);
  const std::unique_ptr<char[]> buffer(new char[settings.piece_bytes]);
  Scanner scanner(pattern, settings, offsets);
  std::int64_t piece_start = 0;
  std::size_t held = Fill(*sb, buffer.get(), 0, settings.piece_bytes);
  for (;;) {
    const Bytes bytes{buffer.get(), held, held < settings.piece_bytes};
    const std::size_t next = scanner.Piece(bytes, piece_start);
    if (next == 0) break;
    std::memmove(buffer.get(), buffer.get() + next, held - next);
    held = Fill(*sb, buffer.get(), held - next, settings.piece_bytes);
    piece_start += static_cast<std::int64_t>(next);
  }
  const RowScanResult result = scanner.result();
  in.clear();
  if (std::streamoff(sb->pubseekpos(base + result.end, std::ios::in)) != base + result.end) {
    in.setstate(std::ios::badbit);
  }
  return result;
}

}  // namespace mbrk
