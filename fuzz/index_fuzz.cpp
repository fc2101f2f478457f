// The row index against reading window after window.
//
// The first byte picks the step between indexed rows (1 to 4), the scan's
// threads and whether its chunks and pieces are tiny; the rest is the dataset
// file. For a file that reads whole, the index must hold its row count and
// exactly the offsets that windows of `every` rows, each starting where the
// one before ended, hand out, and the offset after the last of them; for a
// file that does not, the same FormatError (message, line, column, offset).
#include <cstdint>
#include <new>
#include <string>

#include "Dataset/Dataset.h"
#include "Dataset/internal/IndexWith.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Chained windows are read only for files of few of them: a header of no
// widths may announce two billion rows in a few bytes.
constexpr std::int32_t kMostWindows = 256;

std::string ErrorText(const mbrk::FormatError& error) {
  return std::string(error.what()) + " @" + std::to_string(error.Offset());
}

// The index's text as windows read one after another give it, or the error.
std::string FromWindows(const char* path, std::int32_t every, bool& chained) {
  try {
    const mbrk::Dataset whole = mbrk::ReadDataset(path, mbrk::ReadOptions{1});
    const auto rows = static_cast<std::int32_t>(whole.Rows());
    chained = rows / every < kMostWindows;
    std::string text = std::to_string(rows) + ":";
    if (!chained) return text;
    std::int64_t offset = 0;
    for (std::int32_t row = 0; row < rows; row += every) {
      text += std::to_string(offset) + ",";
      const std::int32_t count = every < rows - row ? every : rows - row;
      offset = mbrk::ReadWindow(path, offset, count).next_offset;
    }
    return text + "/" + std::to_string(offset);
  } catch (const mbrk::FormatError& error) {
    return ErrorText(error);
  }
}

std::string FromIndex(const char* path, std::int32_t every, const mbrk::RowScanOptions& scan,
                      bool chained) {
  try {
    const mbrk::RowIndex index = mbrk::IndexRowsWith(path, every, scan);
    MBRK_FUZZ_CHECK(index.every == every);
    MBRK_FUZZ_CHECK(index.offsets.size() ==
                    static_cast<std::size_t>((std::int64_t{index.rows} + every - 1) / every));
    std::string text = std::to_string(index.rows) + ":";
    if (!chained) return text;
    for (const std::int64_t offset : index.offsets) text += std::to_string(offset) + ",";
    return text + "/" + std::to_string(index.end_offset);
  } catch (const mbrk::FormatError& error) {
    return ErrorText(error);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static mbrk::fuzz::ScratchFile file;
  const std::int32_t every = 1 + (data[0] & 3);
  const bool tiny = (data[0] & 4) != 0;
  const mbrk::RowScanOptions scan{(data[0] & 8) != 0 ? 3u : 1u, tiny ? 64u : 4096u,
                                  tiny ? 128u : 65536u};
  file.Write(data + 1, size - 1);
  bool chained = true;
  try {
    const std::string expected = FromWindows(file.name(), every, chained);
    MBRK_FUZZ_CHECK(FromIndex(file.name(), every, scan, chained) == expected);
  } catch (const std::bad_alloc&) {
    // Tables or offsets no machine has the memory for: refused by both.
  }
  return 0;
}
