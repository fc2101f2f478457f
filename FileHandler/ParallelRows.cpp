// The numbers of a data block parsed on several threads, piece by piece: a
// piece of the input is read into memory and cut into chunks at separators;
// the threads parse the chunks into scratch values while one of them reads
// the next piece (phase one), the chunks''
// values are counted in file order to find where each one's first value goes
// and where the ordinary reader must take over (serial), and the threads copy
// the values into place (phase two), which also touches the matrices' pages
// for the first time on every thread.
#include "FileHandler/internal/ParallelRows.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <streambuf>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "Base/internal/Assert.h"
#include "Base/internal/ByteReader.h"
#include "Base/internal/NumberText.h"
#include "Base/internal/ReadAheadBuffer.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReaderError.h"

namespace mbrk {

namespace {

bool SeparatorAt(const char* p) { return IsSeparator(ByteOf(*p)); }

// Threads that run rounds of work with the calling thread: Run(count, work)
// calls work(0) .. work(count - 1), each thread taking the next item as it
// gets free, and returns when all are done. `work` must not throw. A thread
// that cannot be started leaves its share to the others.
class Crew {
 public:
  explicit Crew(unsigned threads) {
    try {
      helpers_.reserve(threads);
      for (unsigned t = 1; t < threads; ++t) helpers_.emplace_back([this] { Serve(); });
    } catch (const std::system_error&) {
      // No more threads to be had: fewer do the work.
    } catch (...) {
      Stop();
      throw;
    }
  }
  Crew(const Crew&) = delete;
  Crew& operator=(const Crew&) = delete;
  ~Crew() { Stop(); }

  template <typename Work>
  void Run(std::size_t count, const Work& work) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      call_ = [](const void* job, std::size_t i) { (*static_cast<const Work*>(job))(i); };
      job_ = &work;
      count_ = count;
      next_.store(0, std::memory_order_relaxed);
      working_ = helpers_.size();
      ++round_;
    }
    wake_.notify_all();
    Take();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return working_ == 0; });
  }

 private:
  void Take() {
    for (std::size_t i = next_.fetch_add(1, std::memory_order_relaxed); i < count_;
         i = next_.fetch_add(1, std::memory_order_relaxed)) {
      call_(job_, i);
    }
  }

  // A helper's life: every round once, until stopped. Run waits for every
  // helper to finish a round before it starts the next, so none is missed.
  void Serve() {
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || round_ != seen; });
      if (stopping_) return;
      seen = round_;
      lock.unlock();
      Take();
      lock.lock();
      if (--working_ == 0) done_.notify_one();
    }
  }

  void Stop() noexcept {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
    helpers_.clear();
  }

  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::uint64_t round_ = 0;
  std::size_t working_ = 0;
  bool stopping_ = false;
  void (*call_)(const void*, std::size_t) = nullptr;
  const void* job_ = nullptr;
  std::size_t count_ = 0;
  std::atomic<std::size_t> next_{0};
};

// One chunk of a piece: the bytes [begin, end), the last of which is a
// separator, so every word that starts in it ends in it.
struct Chunk {
  std::size_t begin = 0;
  std::size_t end = 0;
  // Where parsing stopped: `end`, or the first byte of the first word not
  // taken (one that is not a plain decimal number ended by a separator, or
  // one past the most values wanted), with `foreign` set.
  std::size_t stop = 0;
  std::size_t count = 0;     // values parsed
  bool foreign = false;      // stopped at a word it did not take
  double* values = nullptr;  // its scratch values
};

// Parses the words of `chunk` into its values, at most `limit` of them.
void ParseChunk(const char* piece, Chunk& chunk, std::size_t limit) {
  const char* p = piece + chunk.begin;
  const char* const end = piece + chunk.end;
  std::size_t count = 0;
  for (;;) {
    while (p != end && SeparatorAt(p)) ++p;
    if (p == end) break;
    if (count == limit) {
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
    if (after == nullptr || after == end || !SeparatorAt(after)) {
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

// Reads into buffer[from, size) as much as the stream gives; returns the end
// of what the buffer then holds.
std::size_t Fill(std::streambuf& sb, char* buffer, std::size_t from, std::size_t size) {
  while (from < size) {
    const std::streamsize got = sb.sgetn(buffer + from, static_cast<std::streamsize>(size - from));
    if (got <= 0) break;
    from += static_cast<std::size_t>(got);
  }
  return from;
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
  if (start < 0 && ahead == nullptr) return 0;
  if (ahead != nullptr) {
    if (!ahead->Holds(options.least_bytes)) return 0;
  } else {
    const std::streamoff input_end = sb->pubseekoff(0, std::ios::end, std::ios::in);
    if (std::streamoff(sb->pubseekpos(start, std::ios::in)) != start) {
      Fail(in, "Unable to seek in file");
    }
    if (input_end < start || static_cast<std::uint64_t>(input_end - start) < options.least_bytes) {
      return 0;
    }
  }

  const Placement placement(layout, first_row);
  const std::uint64_t wanted = static_cast<std::uint64_t>(rows) * placement.row_width();
  const std::size_t chunk_bytes = std::max<std::size_t>(options.chunk_bytes, 1);
  const std::size_t piece_bytes = std::max<std::size_t>(options.piece_bytes, 1);
  // No more values than the rows hold are ever parsed: a chunk holds at most
  // one word per two bytes below its nominal size, and one word past it.
  const std::size_t chunk_capacity =
      static_cast<std::size_t>(std::min<std::uint64_t>(chunk_bytes / 2 + 1, wanted));
  const std::size_t most_chunks = (piece_bytes + chunk_bytes - 1) / chunk_bytes;
  // Two pieces: one parsed while the next is read. Left unset: only the
  // pages the values are written to are ever touched.
  const std::unique_ptr<char[]> buffers[2] = {std::unique_ptr<char[]>(new char[piece_bytes]),
                                              std::unique_ptr<char[]>(new char[piece_bytes])};
  char* piece = buffers[0].get();
  char* next = buffers[1].get();
  const std::unique_ptr<double[]> scratch(new double[most_chunks * chunk_capacity]);
  std::vector<Chunk> chunks;  // as many as the largest piece has had
  // More threads than chunks in a piece would have nothing to do.
  Crew crew(static_cast<unsigned>(std::min<std::size_t>(options.threads, most_chunks)));

  std::uint64_t placed = 0;
  std::streamoff piece_start = start;
  std::size_t held = Fill(*sb, piece, 0, piece_bytes);  // bytes in the piece
  std::size_t resume = 0;  // where, in the piece, the ordinary reader goes on
  for (;;) {
    // The piece ends after its last separator; the word after it may go on
    // in what has not been read yet.
    std::size_t length = held;
    while (length != 0 && !SeparatorAt(piece + length - 1)) --length;
    if (length == 0) {
      resume = 0;
      if (ahead != nullptr) ahead->GiveBack(piece, held);
      break;
    }

    // The chunks: nominal sizes, each end moved on past the word it cuts.
    std::size_t chunk_count = 0;
    for (std::size_t begin = 0; begin < length; ++chunk_count) {
      std::size_t end = std::min(begin + chunk_bytes, length);
      while (!SeparatorAt(piece + end - 1)) ++end;
      if (chunk_count == chunks.size()) {
        MBRK_ASSERT(chunk_count < most_chunks);
        chunks.emplace_back();
        chunks.back().values = &scratch[chunk_count * chunk_capacity];
      }
      chunks[chunk_count].begin = begin;
      chunks[chunk_count].end = end;
      chunks[chunk_count].foreign = false;
      begin = end;
    }
    const std::size_t limit =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunk_capacity, wanted - placed));
    // The next piece, the unfinished word first, is read while the chunks are
    // parsed: item 0, so that it starts at once. A stream that throws has its
    // exception carried back to this thread.
    std::size_t next_held = 0;
    std::exception_ptr read_failure;
    crew.Run(chunk_count + 1, [&](std::size_t i) {
      if (i != 0) {
        ParseChunk(piece, chunks[i - 1], limit);
        return;
      }
      try {
        std::memcpy(next, piece + length, held - length);
        next_held = Fill(*sb, next, held - length, piece_bytes);
      } catch (...) {
        read_failure = std::current_exception();
      }
    });
    if (read_failure) std::rethrow_exception(read_failure);

    // In file order: how many values of each chunk are taken, and whether
    // the ordinary reader takes over in this piece.
    std::vector<std::uint64_t> first_index(chunk_count);
    std::vector<std::size_t> taken(chunk_count);
    std::uint64_t index = placed;
    std::size_t used = 0;  // chunks with values taken
    bool done = false;
    resume = length;
    for (; used < chunk_count && !done; ++used) {
      Chunk& chunk = chunks[used];
      first_index[used] = index;
      taken[used] = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.count, wanted - index));
      index += taken[used];
      if (taken[used] < chunk.count) {
        resume = EndOfWords(piece, chunk.begin, taken[used]);
        done = true;
      } else if (chunk.foreign || index == wanted) {
        resume = chunk.stop;
        done = true;
      }
    }
    crew.Run(used,
             [&](std::size_t i) { placement.Place(chunks[i].values, taken[i], first_index[i]); });
    placed = index;
    if (done) {
      if (ahead != nullptr) {
        ahead->GiveBack(next, next_held);
        ahead->GiveBack(piece + resume, length - resume);
      }
      break;
    }
    std::swap(piece, next);
    held = next_held;
    piece_start += static_cast<std::streamoff>(length);
  }
  if (ahead != nullptr) return placed;
  const std::streamoff at = piece_start + static_cast<std::streamoff>(resume);
  if (std::streamoff(sb->pubseekpos(at, std::ios::in)) != at) Fail(in, "Unable to seek in file");
  return placed;
}

}  // namespace mbrk
