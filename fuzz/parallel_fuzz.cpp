// The data block's numbers read on several threads against the ordinary
// reader alone: ReadDataset of the same bytes from a stream, once with chunks
// and pieces as small as the first byte asks, once on one thread.
//
// The first byte chooses the threads (1 to 4), the chunk size and the piece
// size; the rest is the dataset. Both reads, lenient and strict alike, must
// give the same matrices bit for bit, the same label lists and version, or
// the same message at the same line, column and offset.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "Dataset/Dataset.h"
#include "Dataset/internal/ParallelRead.h"
#include "fuzz/DatasetOutcome.h"
#include "fuzz/FuzzSupport.h"

namespace {}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const std::size_t kChunks[] = {1, 2, 3, 5, 8, 16, 64, 4096};
  static const std::size_t kPieces[] = {1, 3, 8, 33, 100, 1000, 1 << 16, 1 << 20};
  mbrk::ParallelRowOptions options;
  options.threads = 1 + (data[0] & 3U);
  options.chunk_bytes = kChunks[(data[0] >> 2) & 7U];
  options.piece_bytes = kPieces[(data[0] >> 5) & 7U];
  options.least_bytes = 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  // Leniently, then strictly.
  for (const bool strict : {false, true}) {
    mbrk::ReadOptions one;
    one.threads = 1;
    one.strict = strict;
    options.strict = strict;
    const std::string alone = mbrk::fuzz::ReadOutcome([&](std::string& bytes) {
      std::istringstream in(text);
      mbrk::fuzz::AppendDataset(bytes, mbrk::ReadDataset(in, one));
    });
    const std::string parallel = mbrk::fuzz::ReadOutcome([&](std::string& bytes) {
      std::istringstream in(text);
      mbrk::fuzz::AppendDataset(bytes, mbrk::ReadDatasetWith(in, options));
    });
    MBRK_FUZZ_CHECK(alone == parallel);
  }
  return 0;
}
