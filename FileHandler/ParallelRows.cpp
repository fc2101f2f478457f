// The numbers of a data block parsed on several threads, piece by piece: a
// piece of the input is read into memory and cut into chunks at separators;
// the threads parse the chunks into scratch values while one of them reads
// the next piece (phase one), the chunks'
// values are counted in file order to find where each one's first value goes
// and where the ordinary reader must take over (serial), and the threads copy
// the values into place (phase two), which also touches the matrices' pages
// for the first time on every thread.
#include "FileHandler/internal/ParallelRows.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <streambuf>
#include <utility>
#include <vector>

#include "Base/internal/Assert.h"
#include "Base/internal/ByteReader.h"
#include "Base/internal/Interrupt.h"
#include "Base/internal/NumberText.h"
#include "Base/internal/ReadAheadBuffer.h"
#include "Base/internal/ThreadCrew.h"
#include "FileHandler/internal/Chunks.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReaderError.h"

namespace mbrk {

namespace {

bool SeparatorAt(const char* p) { return IsSeparator(ByteOf(*p)); }

// What parsing one chunk gave.
struct Chunk {
  // Where parsing stopped: the chunk's end, or the first byte of the first
  // word not taken (one that is not a plain decimal number ended by a
  // separator, or one past the most values wanted), with `foreign` set.
  std::size_t stop = 0;
  std::size_t count = 0;     // values parsed
  bool foreign = false;      // stopped at a word it did not take
  double* values = nullptr;  // its scratch values
};

// Whether the byte at `p`, a separator, is one that strict reading refuses:
// the ordinary reader then reads up to it and reports it.
bool RefusedAt(const char* p, bool strict) { return strict && ByteOf(*p) > 127; }

// Parses the words of `chunk` into its values, at most `limit` of them.
void ParseChunk(const char* piece, const ByteRange& range, Chunk& chunk, std::size_t limit,
                bool strict) {
  const char* p = piece + range.begin;
  const char* const end = piece + range.end;
  std::size_t count = 0;
  chunk.foreign = false;
  for (;;) {
    while (p != end && SeparatorAt(p) && !RefusedAt(p, strict)) ++p;
    if (p == end) break;
    if (count == limit || SeparatorAt(p)) {
      // More words than the rows want (or than the chunk was thought to
      // hold): the ordinary reader decides what they are.
      chunk.foreign = true;
      break;
    }
    double value;
    const char* const after = ScanShortDecimal(p, end, &value);
    // As the ordinary reader takes it in place: the whole word is the
    // decimal, and a separator ends it. Anything else is the ordinary
    // reader's to read or refuse.
    if (after == nullptr || after == end || !SeparatorAt(after) || RefusedAt(after, strict)) {
      chunk.foreign = true;
      break;
    }
    chunk.values[count++] = value;
    p = after + 1;
  }
  chunk.stop = static_cast<std::size_t>(p - piece);
  chunk.count = count;
}

// Where the `words`-th word of [begin, end) ends (every word in it is ended
// by a separator within it).
std::size_t EndOfWords(const char* piece, std::size_t begin, std::size_t words) {
  const char* p = piece + begin;
  for (std::size_t w = 0; w < words; ++w) {
    while (SeparatorAt(p)) ++p;
    while (!SeparatorAt(p)) ++p;
  }
  return static_cast<std::size_t>(p - piece);
}

// The four vectors of a row, as places of row 0 and widths.
class Placement {
 public:
  Placement(const RowLayout& layout, const RowPlaces& first_row)
      : bases_{first_row.inputs, first_row.expected, first_row.generated, first_row.errors},
        widths_{static_cast<std::uint64_t>(layout.inputs),
                static_cast<std::uint64_t>(layout.expected),
                static_cast<std::uint64_t>(layout.generated),
                static_cast<std::uint64_t>(layout.errors)},
        row_width_(widths_[0] + widths_[1] + widths_[2] + widths_[3]) {}

  std::uint64_t row_width() const noexcept { return row_width_; }

  // Copies `count` values to the places of values index .. index + count - 1
  // of the rows, in the file's order.
  void Place(const double* values, std::size_t count, std::uint64_t index) const noexcept {
    std::uint64_t row = index / row_width_;
    std::uint64_t column = index % row_width_;
    std::size_t vector = 0;
    while (column >= widths_[vector]) column -= widths_[vector++];
    while (count != 0) {
      const auto run =
          static_cast<std::size_t>(std::min<std::uint64_t>(widths_[vector] - column, count));
      std::memcpy(bases_[vector] + row * widths_[vector] + column, values, run * sizeof(double));
      values += run;
      count -= run;
      column = 0;
      // The next vector that has values, wrapping to the next row.
      do {
        if (++vector == 4) {
          vector = 0;
          ++row;
        }
      } while (widths_[vector] == 0);
    }
  }

 private:
  double* bases_[4];
  std::uint64_t widths_[4];
  std::uint64_t row_width_;
};

// The reading of one data block: piece by piece, each cut into chunks,
// parsed, put in order and placed.
class PieceReader {
 public:
  PieceReader(std::streambuf& sb, const RowLayout& layout, std::int32_t rows,
              const RowPlaces& first_row, const ParallelRowOptions& options);

  // Reads the pieces from where the buffer stands (`start`) and returns the
  // values placed and where the ordinary reader goes on.
  std::uint64_t Read(std::streamoff start, std::streamoff& resume_at);

  /// Without positions: gives the bytes read and not taken back to `ahead`,
  /// the buffer they came from, after Read.
  void GiveBack(ReadAheadBuffer& ahead) const;

 private:
  // Parses the chunks of piece[0, length) while the next piece is read.
  void Parse(std::size_t length, std::size_t chunk_count);
  // In file order: how many values of each chunk are taken, how many chunks
  // have values taken, and whether (and where) the ordinary reader takes
  // over in this piece.
  std::size_t Order(std::size_t chunk_count, bool& done, std::size_t& resume);
  void Place(std::size_t used);

  std::streambuf& sb_;
  const Placement placement_;
  const std::uint64_t wanted_;
  const std::size_t chunk_bytes_;
  const std::size_t piece_bytes_;
  const bool strict_;
  // No more values than the rows hold are ever parsed: a chunk holds at most
  // one word per two bytes below its nominal size, and one word past it.
  const std::size_t chunk_capacity_;
  const std::size_t most_chunks_;
  // Two pieces: one parsed while the next is read. Left unset: only the
  // pages the values are written to are ever touched.
  std::unique_ptr<char[]> buffers_[2];
  char* piece_;
  char* next_;
  std::size_t held_ = 0;       // bytes in the piece
  std::size_t next_held_ = 0;  // bytes in the next piece
  // Where Read stopped: the piece's complete length (0: it ended there, the
  // next piece unread) and where the ordinary reader goes on in it.
  std::size_t stop_length_ = 0;
  std::size_t stop_resume_ = 0;
  std::unique_ptr<double[]> scratch_;
  std::vector<ByteRange> ranges_;  // as many as the largest piece has had
  std::vector<Chunk> chunks_;
  std::vector<std::uint64_t> first_index_;
  std::vector<std::size_t> taken_;
  std::uint64_t placed_ = 0;
  ThreadCrew crew_;
};

PieceReader::PieceReader(std::streambuf& sb, const RowLayout& layout, std::int32_t rows,
                         const RowPlaces& first_row, const ParallelRowOptions& options)
    : sb_(sb),
      placement_(layout, first_row),
      wanted_(static_cast<std::uint64_t>(rows) * placement_.row_width()),
      chunk_bytes_(std::max<std::size_t>(options.chunk_bytes, 1)),
      piece_bytes_(std::max<std::size_t>(options.piece_bytes, 1)),
      strict_(options.strict),
      chunk_capacity_(
          static_cast<std::size_t>(std::min<std::uint64_t>(chunk_bytes_ / 2 + 1, wanted_))),
      most_chunks_((piece_bytes_ + chunk_bytes_ - 1) / chunk_bytes_),
      buffers_{std::unique_ptr<char[]>(new char[piece_bytes_]),
               std::unique_ptr<char[]>(new char[piece_bytes_])},
      piece_(buffers_[0].get()),
      next_(buffers_[1].get()),
      scratch_(new double[most_chunks_ * chunk_capacity_]),
      // More threads than chunks in a piece would have nothing to do.
      crew_(static_cast<unsigned>(std::min<std::size_t>(options.threads, most_chunks_))) {}

std::uint64_t PieceReader::Read(std::streamoff start, std::streamoff& resume_at) {
  std::streamoff piece_start = start;
  held_ = Fill(sb_, piece_, 0, piece_bytes_);
  std::size_t resume = 0;  // where, in the piece, the ordinary reader goes on
  for (;;) {
    // Only this thread may stop the work, and only between two pieces: the
    // crew's destructor then stops and joins the helpers.
    PollInterrupt();
    const std::size_t length = CompleteLength(piece_, held_);
    stop_length_ = length;
    if (length == 0) {
      resume = 0;
      break;
    }
    const std::size_t chunk_count = CutChunks(piece_, length, chunk_bytes_, ranges_);
    MBRK_ASSERT(chunk_count <= most_chunks_);
    Parse(length, chunk_count);
    bool done = false;
    resume = length;
    const std::size_t used = Order(chunk_count, done, resume);
    Place(used);
    if (done) break;
    std::swap(piece_, next_);
    held_ = next_held_;
    piece_start += static_cast<std::streamoff>(length);
  }
  resume_at = piece_start + static_cast<std::streamoff>(resume);
  stop_resume_ = resume;
  return placed_;
}

void PieceReader::GiveBack(ReadAheadBuffer& ahead) const {
  if (stop_length_ == 0) {
    ahead.GiveBack(piece_, held_);
    return;
  }
  // Last bytes first: each goes in front of those given back before.
  ahead.GiveBack(next_, next_held_);
  ahead.GiveBack(piece_ + stop_resume_, stop_length_ - stop_resume_);
}

void PieceReader::Parse(std::size_t length, std::size_t chunk_count) {
  while (chunks_.size() < chunk_count) {
    chunks_.emplace_back();
    chunks_.back().values = &scratch_[(chunks_.size() - 1) * chunk_capacity_];
  }
  const std::size_t limit =
      static_cast<std::size_t>(std::min<std::uint64_t>(chunk_capacity_, wanted_ - placed_));
  // The next piece, the unfinished word first, is read while the chunks are
  // parsed: item 0, so that it starts at once. A stream that throws has its
  // exception carried back to this thread.
  next_held_ = 0;
  std::exception_ptr read_failure;
  crew_.Run(chunk_count + 1, [&](std::size_t i) {
    if (i != 0) {
      ParseChunk(piece_, ranges_[i - 1], chunks_[i - 1], limit, strict_);
      return;
    }
    try {
      std::memcpy(next_, piece_ + length, held_ - length);
      next_held_ = Fill(sb_, next_, held_ - length, piece_bytes_);
    } catch (...) {
      read_failure = std::current_exception();
    }
  });
  if (read_failure) std::rethrow_exception(read_failure);
}

std::size_t PieceReader::Order(std::size_t chunk_count, bool& done, std::size_t& resume) {
  first_index_.resize(chunk_count);
  taken_.resize(chunk_count);
  std::uint64_t index = placed_;
  std::size_t used = 0;  // chunks with values taken
  for (; used < chunk_count && !done; ++used) {
    const Chunk& chunk = chunks_[used];
    first_index_[used] = index;
    taken_[used] = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.count, wanted_ - index));
    index += taken_[used];
    if (taken_[used] < chunk.count) {
      resume = EndOfWords(piece_, ranges_[used].begin, taken_[used]);
      done = true;
    } else if (chunk.foreign || index == wanted_) {
      resume = chunk.stop;
      done = true;
    }
  }
  placed_ = index;
  return used;
}

void PieceReader::Place(std::size_t used) {
  crew_.Run(used, [&](std::size_t i) {
    placement_.Place(chunks_[i].values, taken_[i], first_index_[i]);
  });
}

}  // namespace

std::uint64_t ReadValuesInParallel(std::istream& in, const RowLayout& layout, std::int32_t rows,
                                   const RowPlaces& first_row, const ParallelRowOptions& options) {
  if (options.threads == 0 || rows <= 0 || layout.labels1 || layout.labels2) return 0;
  if (layout.inputs < 0 || layout.errors < 0 || !layout.HasNumbers() || !in.good()) return 0;
  std::streambuf* const sb = in.rdbuf();
  if (sb == nullptr) return 0;
  const std::streamoff start = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  // Without positions (a pipe, a decoded input) the bytes not taken are
  // given back to the read-ahead buffer they came from.
  ReadAheadBuffer* const ahead = start < 0 ? dynamic_cast<ReadAheadBuffer*>(sb) : nullptr;
  if (ahead != nullptr) {
    if (!ahead->Holds(options.least_bytes)) return 0;
    PieceReader reader(*sb, layout, rows, first_row, options);
    std::streamoff unused = 0;
    const std::uint64_t placed = reader.Read(0, unused);
    reader.GiveBack(*ahead);
    return placed;
  }
  if (start < 0) return 0;
  const std::streamoff input_end = sb->pubseekoff(0, std::ios::end, std::ios::in);
  if (std::streamoff(sb->pubseekpos(start, std::ios::in)) != start) {
    Fail(in, "Unable to seek in file");
  }
  if (input_end < start || static_cast<std::uint64_t>(input_end - start) < options.least_bytes) {
    return 0;
  }
  PieceReader reader(*sb, layout, rows, first_row, options);
  std::streamoff at = start;
  const std::uint64_t placed = reader.Read(start, at);
  if (std::streamoff(sb->pubseekpos(at, std::ios::in)) != at) Fail(in, "Unable to seek in file");
  return placed;
}

}  // namespace mbrk
