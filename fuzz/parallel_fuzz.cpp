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
#include "fuzz/FuzzSupport.h"

namespace {

// What a read gives, as bytes.
template <typename Read>
std::string Outcome(Read read) {
  try {
    const mbrk::Dataset dataset = read();
    std::string bytes;
    for (const mbrk::Matrix* m :
         {&dataset.inputs, &dataset.expected, &dataset.generated, &dataset.errors}) {
      bytes += std::to_string(m->Rows()) + "x" + std::to_string(m->Width()) + ":";
      if (m->Size() != 0) {
        bytes.append(reinterpret_cast<const char*>(m->Data()), m->Size() * sizeof(double));
      }
    }
    for (const auto* lists : {&dataset.expected_labels, &dataset.generated_labels}) {
      if (!lists->has_value()) continue;
      for (const mbrk::Labels& labels : **lists) {
        for (const mbrk::Label& label : labels) {
          bytes += label.name + "=";
          bytes.append(reinterpret_cast<const char*>(&label.value), sizeof label.value);
        }
        bytes += ";";
      }
    }
    if (dataset.format_version) {
      bytes.append(reinterpret_cast<const char*>(&*dataset.format_version), sizeof(double));
    }
    return bytes;
  } catch (const mbrk::FormatError& error) {
    return std::string(error.what()) + " @" + std::to_string(error.Offset());
  } catch (const std::bad_alloc&) {
    return "bad_alloc";
  }
}

}  // namespace

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
    const std::string alone = Outcome([&] {
      std::istringstream in(text);
      return mbrk::ReadDataset(in, one);
    });
    const std::string parallel = Outcome([&] {
      std::istringstream in(text);
      return mbrk::ReadDatasetWith(in, options);
    });
    MBRK_FUZZ_CHECK(alone == parallel);
  }
  return 0;
}
