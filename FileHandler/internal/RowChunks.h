// The chunks of a row scan (see RowScan.h): the units each holds (phase one)
// and how they fit the rows' pattern (phase two). Internal: not installed.
#ifndef MBRK_FILEHANDLER_INTERNAL_ROWCHUNKS_H
#define MBRK_FILEHANDLER_INTERNAL_ROWCHUNKS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FileHandler/internal/RowUnits.h"

namespace mbrk::row_units {

/// How phase one stopped: at the chunk's end, at something the row reader
/// must read, or at a unit that runs past the bytes held.
enum class Stop { kWhole, kForeign, kShort };

/// A run of units in a chunk: one label list, one number, or a run of plain
/// numbers counted 64 bytes at a time, whose ends are found again when needed.
struct Entry {
  std::uint32_t from;  // where the run began
  std::uint32_t to;    // just past it (a single unit's end, as the row reader stands)
  std::uint32_t count;
  bool list;
  bool run;
};

/// A chunk of a piece, [begin, end), and what the two phases found in it.
struct Chunk {
  std::size_t begin = 0;
  std::size_t end = 0;
  // Phase one: where scanning stopped (past the last word, list or comment,
  // or at the first thing not taken), how, and the units.
  std::size_t stop = 0;
  Stop how = Stop::kWhole;
  std::vector<Entry> entries;
  std::uint64_t units = 0;
  // Phase two.
  std::uint64_t first_unit = 0;
  std::uint64_t good = 0;      // units that fit the rows' pattern
  bool complete = false;       // all of them, and the rows go on after them
  std::int32_t last_row = -1;  // the last row ended here, and where
  std::size_t last_row_end = 0;
  std::vector<std::size_t> marks;  // ends of the rows wanted
};

/// The rows' pattern: `numbers` words, then per_row - numbers label lists.
struct Pattern {
  std::uint64_t numbers;
  std::uint64_t per_row;
  std::uint64_t total;  // units of all the rows
  std::int32_t rows;
  std::int32_t every;
};

/// Phase one for `chunk`, from `from`: the units that begin before its end.
void ScanChunk(const Bytes& b, std::size_t from, Chunk& chunk);

/// Phase two for `chunk`, whose first unit is chunk.first_unit: how many of
/// its units fit the pattern, where the rows wanted end, and the last row.
void CheckChunk(const Bytes& b, const Pattern& pattern, Chunk& chunk);

}  // namespace mbrk::row_units

#endif  // MBRK_FILEHANDLER_INTERNAL_ROWCHUNKS_H
