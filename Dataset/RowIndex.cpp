// The row index of a dataset file: the rows scanned on every core where they
// are plain, read by the ordinary row reader from where the scan gave up, and
// the end of the file checked as ReadDataset checks it.
#include <cstdint>
#include <istream>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "DataObject/LabelList.h"
#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "Dataset/internal/IndexWith.h"
#include "Dataset/internal/Reading.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/DataBlock.h"
#include "FileHandler/internal/DecodedInput.h"
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/RowDestination.h"
#include "FileHandler/internal/RowReader.h"
#include "FileHandler/internal/RowScan.h"
#include "FileHandler/internal/Strict.h"

namespace mbrk {

namespace {

// The most offsets kept for rows that hold nothing (64 MiB of them).
constexpr std::size_t kMostEmptyOffsets = std::size_t{8} << 20;

std::streamoff Tell(std::istream& in) {
  return in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
}

// The row reader's destination that keeps nothing: one scratch row.
class NoRows final : public RowDestination {
 public:
  explicit NoRows(const RowLayout& layout) : layout_(layout) {}

  RowPlaces Places(std::int32_t) override {
    if (!made_) {
      inputs_.resize(static_cast<std::size_t>(layout_.inputs));
      expected_.resize(static_cast<std::size_t>(layout_.expected));
      generated_.resize(static_cast<std::size_t>(layout_.generated));
      errors_.resize(static_cast<std::size_t>(layout_.errors));
      made_ = true;
    }
    return RowPlaces{inputs_.data(), expected_.data(), generated_.data(), errors_.data()};
  }
  void TakeLabels(TablePart, std::int32_t, TLabelList&) override {}

 private:
  const RowLayout& layout_;
  std::vector<double> inputs_, expected_, generated_, errors_;
  bool made_ = false;
};

// Reads rows `first` .. rows - 1 one by one, noting the offsets (from
// `base`) of those numbered a multiple of `every` that `offsets` lacks.
void ReadRest(FileTools& tools, std::istream& in, DataBlock& block, std::streamoff base,
              std::int32_t first, std::int32_t every, std::vector<std::int64_t>& offsets) {
  const std::int32_t rows = block.rows;
  if (!block.layout.table1 && !block.layout.table2) {
    // Rows of nothing: the reader reads nothing for them, and a header of a
    // few bytes may announce two billion of them.
    const auto count =
        static_cast<std::size_t>((static_cast<std::int64_t>(rows) + every - 1) / every);
    if (count > kMostEmptyOffsets) throw std::bad_alloc();
    offsets.resize(count, Tell(in) - base);
    return;
  }
  NoRows destination(block.layout);
  RowReader reader(tools, in, block, destination);
  for (std::int32_t row = first; row < rows; ++row) {
    if (row % every == 0 && offsets.size() == static_cast<std::size_t>(row / every)) {
      const std::streamoff here = Tell(in);
      if (here < 0) Fail(in, "Unable to seek in file");
      offsets.push_back(here - base);
    }
    reader.ReadRows(row, 1);
  }
}

// Read strictly, the scan is not used: its words are the lenient ones.
RowIndex IndexFrom(std::istream& in, std::int32_t every, const RowScanOptions& scan, bool strict) {
  const StrictReading strictly(in, strict);
  FileTools tools;
  DataBlock block = ReadToDataBlock(tools, in);
  RefuseHostileSize(in, block.rows, block.layout);
  RowIndex index;
  index.rows = block.rows;
  index.every = every;
  const std::streamoff base = Tell(in);
  if (base < 0) Fail(in, "Unable to seek in file");
  RowScanResult done;
  if (!strict) done = ScanRows(in, block.layout, block.rows, every, index.offsets, scan);
  if (in.bad()) Fail(in, "Unable to seek in file");
  ReadRest(tools, in, block, base, done.rows, every, index.offsets);
  const std::streamoff end = Tell(in);
  if (end < 0) Fail(in, "Unable to seek in file");
  index.end_offset = end - base;
  ReadDataBlockEnd(tools, in, block);
  return index;
}

RowIndex IndexFile(const std::string& path, std::int32_t every, const RowScanOptions& scan,
                   bool strict) {
  if (every < 1) throw std::invalid_argument("IndexRows: every must be at least 1");
  InputFile file;
  files::OpenForReading(file, path);
  std::istream& in = file.stream();
  // A compressed file is decoded as the whole-file reader decodes it (so a
  // damaged one fails alike), and then refused as a pipe is: it has no
  // byte offsets.
  DecodedInput decoded(in);
  try {
    return ReadDecoded(
        decoded, [&](std::istream& source) { return IndexFrom(source, every, scan, strict); },
        [] {});
  } catch (FileTools::Error& error) {
    ThrowInputError(error, decoded, in, 0, path, strict);
  }
}

}  // namespace

RowIndex IndexRowsWith(const std::string& path, std::int32_t every, const RowScanOptions& scan) {
  return IndexFile(path, every, scan, false);
}

RowIndex IndexRows(const std::string& path, std::int32_t every, const ReadOptions& options) {
  RowScanOptions scan;
  scan.threads = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
  return IndexFile(path, every, scan, options.strict);
}

}  // namespace mbrk
