// The readers of the value-type interface: a dataset file's values go from
// the stream buffer straight into the matrices, once, by the row reader that
// the table readers use.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "DataObject/LabelList.h"
#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "Dataset/internal/ParallelRead.h"
#include "Dataset/internal/Reading.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/DecodedInput.h"
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ParallelRows.h"
#include "FileHandler/internal/ReadRecipe.h"

namespace mbrk {

namespace {

// ---- Rows into matrices ----------------------------------------------------------

// A dataset with float matrices as the row reader's destination: each row's
// numbers are read as doubles into a row of its own, then stored as floats
// once the reader is done with them (PartRead).
class FloatRows final : public RowDestination {
 public:
  explicit FloatRows(FloatDataset& dataset) : dataset_(dataset) {}

  RowPlaces Places(std::int32_t) override {
    // Had at the first row: a header of no rows may give any widths.
    if (row_.empty()) {
      row_.resize(dataset_.inputs.width + dataset_.expected.width + dataset_.generated.width +
                  dataset_.errors.width);
    }
    double* const inputs = row_.data();
    double* const expected = inputs + dataset_.inputs.width;
    double* const generated = expected + dataset_.expected.width;
    return RowPlaces{inputs, expected, generated, generated + dataset_.generated.width};
  }

  void PartRead(TablePart part, std::int32_t row) override {
    const RowPlaces read = Places(row);
    const auto r = static_cast<std::size_t>(row);
    if (part == TablePart::kFirst) {
      Store(read.inputs, dataset_.inputs, r);
      Store(read.expected, dataset_.expected, r);
    } else {
      Store(read.generated, dataset_.generated, r);
      Store(read.errors, dataset_.errors, r);
    }
  }

  void TakeLabels(TablePart part, std::int32_t row, TLabelList& list) override {
    CopyLabels(part == TablePart::kFirst ? dataset_.expected_labels : dataset_.generated_labels,
               row, list);
  }

 private:
  static void Store(const double* read, FloatMatrix& matrix, std::size_t row) {
    float* const place = matrix.values.get() + row * matrix.width;
    // IEEE rounding to nearest, to an infinity beyond float's range.
    static_assert(std::numeric_limits<float>::is_iec559, "floats are IEEE 754 binary32");
    for (std::size_t i = 0; i < matrix.width; ++i) place[i] = static_cast<float>(read[i]);
  }

  FloatDataset& dataset_;
  std::vector<double> row_;
};

// A float dataset shaped by the header, with `count` rows of zeros.
FloatDataset ShapedFloatDataset(const DataBlock& block) {
  const auto rows = static_cast<std::size_t>(block.rows);
  const RowLayout& layout = block.layout;
  FloatDataset dataset;
  dataset.inputs = FloatMatrix(rows, static_cast<std::size_t>(layout.inputs));
  dataset.expected = FloatMatrix(rows, static_cast<std::size_t>(layout.expected));
  dataset.generated = FloatMatrix(rows, static_cast<std::size_t>(layout.generated));
  dataset.errors = FloatMatrix(rows, static_cast<std::size_t>(layout.errors));
  if (layout.labels1) dataset.expected_labels.emplace(rows);
  if (layout.labels2) dataset.generated_labels.emplace(rows);
  dataset.format_version = block.format_version;
  return dataset;
}

FloatDataset ReadFloatWholeFrom(std::istream& source) {
  DatasetInput input(source);
  FileTools tools;
  WholeRead read(tools, input.stream());
  FloatDataset dataset = ShapedFloatDataset(read.block());
  FloatRows destination(dataset);
  read.ReadRows(destination);
  return dataset;
}

Dataset ReadWhole(std::istream& in, const ParallelRowOptions& options) {
  FileTools tools;
  WholeRead read(tools, in);
  Dataset dataset = ShapedDataset(read.block().layout, read.block().rows);
  dataset.format_version = read.block().format_version;
  DatasetRows destination(dataset);
  read.ReadRows(destination, &options);
  return dataset;
}

Window ReadWindowFrom(std::istream& in, std::int64_t offset, std::int32_t count) {
  FileTools tools;
  WindowRead read(tools, in, offset, count);
  Window window;
  window.rows = ShapedDataset(read.block().layout, count);
  window.rows.format_version = read.block().format_version;
  DatasetRows destination(window.rows);
  window.next_offset = read.ReadRows(destination);
  return window;
}

// Runs `read` on the stream `raw` from where it stands, decoded where it is
// compressed, and reports its format errors with their position.
template <typename Read>
auto ReadFrom(std::istream& raw, const std::string& path, Read read)
    -> decltype(read(std::declval<std::istream&>())) {
  const std::streamoff start = Tell(raw);
  DecodedInput input(raw);
  try {
    return ReadDecoded(input, read, [] {});
  } catch (FileTools::Error& error) {
    ThrowReadingError(error, input, raw, start, path);
  }
}

// Runs `read` on the file `path`, opened for it.
template <typename Read>
auto WithFile(const std::string& path, Read read) -> decltype(read(std::declval<std::istream&>())) {
  InputFile file;
  files::OpenForReading(file, path);
  return ReadFrom(file.stream(), path, read);
}

// The shape the header of `in` gives.
DatasetShape ShapeFrom(std::istream& in) {
  FileTools tools;
  return ShapeOf(ReadToDataBlock(tools, in));
}

// A whole dataset from `in`, read ahead where it has no positions.
Dataset ReadWholeFrom(std::istream& source, const ParallelRowOptions& options) {
  DatasetInput input(source);
  Dataset dataset = ReadWhole(input.stream(), options);
  // Read through a buffer of its own, a stream without positions has still
  // been read to its end.
  if (!input.positioned()) source.setstate(std::ios::eofbit);
  return dataset;
}

}  // namespace

ParallelRowOptions ParallelOptionsFor(const ReadOptions& options) {
  ParallelRowOptions parallel;
  const unsigned threads =
      options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
  // One thread reads as the ordinary reader alone does.
  parallel.threads = threads > 1 ? threads : 0;
  return parallel;
}

Dataset ReadDatasetWith(const std::string& path, const ParallelRowOptions& options) {
  return WithFile(path, [&options](std::istream& in) { return ReadWholeFrom(in, options); });
}

Dataset ReadDatasetWith(std::istream& in, const ParallelRowOptions& options) {
  return ReadFrom(in, std::string(),
                  [&options](std::istream& source) { return ReadWholeFrom(source, options); });
}

Dataset ReadDataset(const std::string& path, const ReadOptions& options) {
  return ReadDatasetWith(path, ParallelOptionsFor(options));
}

Dataset ReadDataset(std::istream& in, const ReadOptions& options) {
  return ReadDatasetWith(in, ParallelOptionsFor(options));
}

FloatDataset ReadFloatDataset(const std::string& path) {
  return WithFile(path, [](std::istream& in) { return ReadFloatWholeFrom(in); });
}

Window ReadWindow(const std::string& path, std::int64_t offset, std::int32_t count) {
  if (offset < 0) throw std::invalid_argument("ReadWindow: negative offset");
  if (count < 0) throw std::invalid_argument("ReadWindow: negative row count");
  return WithFile(path, [&](std::istream& in) { return ReadWindowFrom(in, offset, count); });
}

DatasetShape ProbeDataset(const std::string& path) { return WithFile(path, ShapeFrom); }

DatasetShape ProbeDataset(std::istream& in) { return ReadFrom(in, std::string(), ShapeFrom); }

}  // namespace mbrk
