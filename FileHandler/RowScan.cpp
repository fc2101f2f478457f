// The rows of a data block scanned on several threads, piece by piece: a
// piece of the input (ending after a line end where one is near: the writer
// ends rows there, so a label list is seldom cut between pieces) is read into
// memory and cut into chunks at separators as the parallel reader cuts its
// pieces; every chunk is scanned at once as if it began between words,
// noting where each word or label list ends (phase one). In file order, a
// chunk whose predecessor ran past its start (a list or a comment across the
// cut) is scanned again from where that one stopped. With each chunk's first
// word numbered, the chunks check their words against the rows' pattern (so
// many numbers, then the label lists) and note where the rows that matter
// end (phase two).
#include "FileHandler/internal/RowScan.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <streambuf>
#include <utility>

#include "Base/internal/NumberText.h"
#include "Base/internal/Text.h"
#include "Base/internal/ThreadCrew.h"
#include "FileHandler/internal/Chunks.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/RowChunks.h"
#include "FileHandler/internal/RowUnits.h"

namespace mbrk {

namespace {

using row_units::Bytes;
using row_units::CheckChunk;
using row_units::Chunk;
using row_units::Found;
using row_units::Pattern;
using row_units::ScanChunk;
using row_units::ScanUnit;
using row_units::Step;
using row_units::Stop;

// How far back from a piece's end a line end is looked for.
constexpr std::size_t kLineReach = 64 * 1024;

// Cuts [0, length) of the piece into the chunks' ranges, at separators as
// the parallel reader cuts its pieces; bytes after the last separator (the
// input ending in a word) make a chunk of their own.
std::size_t CutRanges(const Bytes& b, std::size_t length, std::size_t size,
                      std::vector<ByteRange>& ranges) {
  const std::size_t complete = CompleteLength(b.at, length);
  std::size_t count = CutChunks(b.at, complete, size, ranges);
  if (complete < length) {
    if (count == ranges.size()) ranges.emplace_back();
    ranges[count++] = ByteRange{complete, length};
  }
  return count;
}

// Where the piece's scanned part ends: after its last line end, else after
// its last separator (0 when it has none); all of it when the input ends.
std::size_t ScannedLength(const Bytes& b) {
  if (b.ends) return b.held;
  const std::size_t from = b.held > kLineReach ? b.held - kLineReach : 0;
  for (std::size_t i = b.held; i > from; --i) {
    if (b.at[i - 1] == '\n') return i;
  }
  std::size_t length = b.held;
  while (length != 0 && !b.Separator(length - 1)) --length;
  return length;
}

}  // namespace

namespace {

// The scan's progress across pieces.
class Scanner {
 public:
  Scanner(const Pattern& pattern, const RowScanOptions& options, std::vector<std::int64_t>& offsets)
      : pattern_(pattern), options_(options), offsets_(offsets), crew_(options.threads) {}

  // Where the next piece begins, in the bytes of this one, and where the
  // part of this one that was scanned ends; `next` 0 when the scan is over.
  struct Next {
    std::size_t next;
    std::size_t length;
  };

  // Scans the piece. Unless the input ends in it, `read_on(length)` is called
  // (on a thread of its own while the chunks are scanned) to read the next
  // piece, which begins with the bytes from `length` on.
  Next Piece(const Bytes& b, std::int64_t piece_start,
             const std::function<void(std::size_t)>& read_on);

  RowScanResult result() const { return result_; }

 private:
  // Phase one and the walk in file order; returns the chunks whose units
  // count and sets how the last of them stopped.
  std::size_t FirstPhase(const Bytes& b, std::size_t count, Stop& how,
                         const std::function<void()>& read_on);
  // Phase two and the offsets, in file order; false once the scan is over.
  bool SecondPhase(const Bytes& b, std::size_t valid, std::int64_t piece_start);
  // crew_.Run(count, work) for work that may throw: the first exception is
  // carried back to this thread.
  template <typename Work>
  void Run(std::size_t count, const Work& work);

  const Pattern& pattern_;
  const RowScanOptions& options_;
  std::vector<std::int64_t>& offsets_;
  ThreadCrew crew_;
  std::vector<ByteRange> ranges_;
  std::vector<Chunk> chunks_;
  std::uint64_t units_ = 0;  // units taken so far
  RowScanResult result_;
};

template <typename Work>
void Scanner::Run(std::size_t count, const Work& work) {
  std::exception_ptr failure;
  std::mutex failure_mutex;
  crew_.Run(count, [&](std::size_t i) {
    try {
      work(i);
    } catch (...) {
      const std::lock_guard<std::mutex> lock(failure_mutex);
      if (!failure) failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
}

std::size_t Scanner::FirstPhase(const Bytes& b, std::size_t count, Stop& how,
                                const std::function<void()>& read_on) {
  // Item 0 reads the next piece, so that it starts at once.
  Run(count + 1, [&](std::size_t i) {
    if (i == 0) {
      read_on();
    } else {
      ScanChunk(b, chunks_[i - 1].begin, chunks_[i - 1]);
    }
  });
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

bool Scanner::SecondPhase(const Bytes& b, std::size_t valid, std::int64_t piece_start) {
  std::uint64_t unit = units_;
  for (std::size_t i = 0; i < valid; ++i) {
    chunks_[i].first_unit = unit;
    unit += chunks_[i].units;
  }
  Run(valid, [&](std::size_t i) { CheckChunk(b, pattern_, chunks_[i]); });
  for (std::size_t i = 0; i < valid; ++i) {
    const Chunk& chunk = chunks_[i];
    for (const std::size_t end : chunk.marks) {
      offsets_.push_back(piece_start + static_cast<std::int64_t>(end));
    }
    if (chunk.last_row >= 0) {
      result_.rows = chunk.last_row;
      result_.end = piece_start + static_cast<std::int64_t>(chunk.last_row_end);
    }
    units_ = chunk.first_unit + chunk.good;
    if (!chunk.complete) return false;
  }
  return true;
}

Scanner::Next Scanner::Piece(const Bytes& b, std::int64_t piece_start,
                             const std::function<void(std::size_t)>& read_on) {
  const std::size_t length = ScannedLength(b);
  if (length == 0) return Next{0, 0};
  const std::size_t count = CutRanges(b, length, options_.chunk_bytes, ranges_);
  if (chunks_.size() < count) chunks_.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    chunks_[i].begin = ranges_[i].begin;
    chunks_[i].end = ranges_[i].end;
  }
  Stop how = Stop::kWhole;
  const std::size_t valid = FirstPhase(b, count, how, [&] {
    if (!b.ends) read_on(length);
  });
  if (!SecondPhase(b, valid, piece_start) || how == Stop::kForeign || b.ends) return Next{0, 0};
  const Chunk& last = chunks_[valid - 1];
  return Next{how == Stop::kShort ? last.stop : std::max(length, last.stop), length};
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
  // Positions within a piece are kept in 32 bits.
  settings.chunk_bytes = std::min<std::size_t>(settings.chunk_bytes, std::size_t{1} << 28);
  settings.piece_bytes =
      std::min(std::max(settings.piece_bytes, 2 * settings.chunk_bytes), std::size_t{1} << 30);
  // Two pieces, one scanned while the next is read; zeros past each: the
  // plain runs read a block beyond their end.
  const std::size_t capacity = settings.piece_bytes;
  const std::unique_ptr<char[]> buffers[2] = {
      std::unique_ptr<char[]>(new char[capacity + row_units::kPadding]()),
      std::unique_ptr<char[]>(new char[capacity + row_units::kPadding]())};
  char* piece = buffers[0].get();
  char* next = buffers[1].get();
  Scanner scanner(pattern, settings, offsets);
  std::int64_t piece_start = 0;
  std::size_t skip = 0;  // bytes at the front of `piece` scanned before
  std::size_t held = Fill(*sb, piece, 0, capacity);
  for (;;) {
    const Bytes bytes{piece + skip, held - skip, held < capacity};
    std::size_t next_held = 0;
    const Scanner::Next step = scanner.Piece(bytes, piece_start, [&](std::size_t length) {
      std::memcpy(next, bytes.at + length, bytes.held - length);
      next_held = Fill(*sb, next, bytes.held - length, capacity);
    });
    // A list or comment across the piece's end is left to the row reader.
    if (step.next == 0 || step.next < step.length) break;
    std::swap(piece, next);
    skip = step.next - step.length;
    held = next_held;
    piece_start += static_cast<std::int64_t>(step.next);
  }
  const RowScanResult result = scanner.result();
  in.clear();
  if (std::streamoff(sb->pubseekpos(base + result.end, std::ios::in)) != base + result.end) {
    in.setstate(std::ios::badbit);
  }
  return result;
}

}  // namespace mbrk
