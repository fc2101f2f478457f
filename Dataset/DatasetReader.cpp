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
#include "FileHandler/internal/Strict.h"

namespace mbrk {

namespace {

// ---- Rows into matrices ----------------------------------------------------------

// Row `row`'s label list into `lists`, the labels copied.
void CopyLabels(std::optional<std::vector<Labels>>& lists, std::int32_t row,
                const TLabelList& list) {
  Labels& labels = (*lists)[static_cast<std::size_t>(row)];
  labels.reserve(static_cast<std::size_t>(list.MbrLngCount));
  for (std::int32_t i = 0; i < list.MbrLngCount; ++i) {
    const TLabel& label = list.MbrDyaItems[i];
    labels.push_back(Label{label.MbrStrName, label.MbrDblValue});
  }
}

// A dataset of matrices of `Data`'s kind shaped by `layout`, with `rows` rows
// of zeros.
template <typename Data>
Data Shaped(const RowLayout& layout, std::size_t rows) {
  using Of = decltype(Data::inputs);
  Data dataset;
  dataset.inputs = Of(rows, static_cast<std::size_t>(layout.inputs));
  dataset.expected = Of(rows, static_cast<std::size_t>(layout.expected));
  dataset.generated = Of(rows, static_cast<std::size_t>(layout.generated));
  dataset.errors = Of(rows, static_cast<std::size_t>(layout.errors));
  if (layout.labels1) dataset.expected_labels.emplace(rows);
  if (layout.labels2) dataset.generated_labels.emplace(rows);
  return dataset;
}

}  // namespace

Dataset ShapedDataset(const RowLayout& layout, std::int32_t count) {
  return Shaped<Dataset>(layout, static_cast<std::size_t>(count));
}

RowPlaces DatasetRows::Places(std::int32_t row) {
  const auto r = static_cast<std::size_t>(row);
  return RowPlaces{dataset_.inputs.Row(r), dataset_.expected.Row(r), dataset_.generated.Row(r),
                   dataset_.errors.Row(r)};
}

void DatasetRows::TakeLabels(TablePart part, std::int32_t row, TLabelList& list) {
  CopyLabels(part == TablePart::kFirst ? dataset_.expected_labels : dataset_.generated_labels, row,
             list);
}

namespace {

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
  FloatDataset dataset = Shaped<FloatDataset>(block.layout, static_cast<std::size_t>(block.rows));
  dataset.format_version = block.format_version;
  return dataset;
}

FloatDataset ReadFloatWholeFrom(std::istream& source, bool strict) {
  DatasetInput input(source);
  const StrictReading marked(input.stream(), strict);
  FileTools tools;
  WholeRead read(tools, input.stream());
  FloatDataset dataset = ShapedFloatDataset(read.block());
  FloatRows destination(dataset);
  read.ReadRows(destination);
  return dataset;
}

Dataset ReadWhole(std::istream& in, const ParallelRowOptions& options) {
  const StrictReading strict(in, options.strict);
  FileTools tools;
  WholeRead read(tools, in);
  Dataset dataset = ShapedDataset(read.block().layout, read.block().rows);
  dataset.format_version = read.block().format_version;
  DatasetRows destination(dataset);
  read.ReadRows(destination, &options);
  return dataset;
}

// Runs `read` on the stream `raw` from where it stands, decoded where it is
// compressed, and reports its format errors with their position: in the
// decoded text for a compressed input.
template <typename Read>
auto ReadFrom(std::istream& raw, const std::string& path, bool strict, Read read)
    -> decltype(read(std::declval<std::istream&>())) {
  const std::streamoff start = Tell(raw);
  DecodedInput input(raw);
  try {
    return ReadDecoded(input, read, [] {});
  } catch (FileTools::Error& error) {
    ThrowInputError(error, input, raw, start, path, strict);
  }
}

// Runs `read` on the file `path`, opened for it.
template <typename Read>
auto WithFile(const std::string& path, bool strict, Read read)
    -> decltype(read(std::declval<std::istream&>())) {
  InputFile file;
  files::OpenForReading(file, path);
  return ReadFrom(file.stream(), path, strict, read);
}

// A stream that throws when its state bits are set (exceptions()) would
// throw from the middle of the reader, which meets the end of the input
// every time and reports its own errors: it reads with them off and gets
// them back when the reading ends, however it ends. A state its reading set
// is then still there for the caller's next use of the stream to report.
class QuietStream {
 public:
  explicit QuietStream(std::istream& in) : in_(in), mask_(in.exceptions()) {
    in.exceptions(std::ios::goodbit);
  }
  ~QuietStream() {
    try {
      in_.exceptions(mask_);
    } catch (const std::ios::failure&) {
      // The mask is back; only its immediate report is left out.
    }
  }
  QuietStream(const QuietStream&) = delete;
  QuietStream& operator=(const QuietStream&) = delete;

 private:
  std::istream& in_;
  const std::ios::iostate mask_;
};

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
  parallel.strict = options.strict;
  return parallel;
}

Dataset ReadDatasetWith(const std::string& path, const ParallelRowOptions& options) {
  return WithFile(path, options.strict,
                  [&options](std::istream& in) { return ReadWholeFrom(in, options); });
}

Dataset ReadDatasetWith(std::istream& in, const ParallelRowOptions& options) {
  if (in.rdbuf() == nullptr) throw std::invalid_argument("ReadDataset: a stream without a buffer");
  const QuietStream quiet(in);
  return ReadFrom(in, std::string(), options.strict,
                  [&options](std::istream& source) { return ReadWholeFrom(source, options); });
}

Dataset ReadDataset(const std::string& path, const ReadOptions& options) {
  return ReadDatasetWith(path, ParallelOptionsFor(options));
}

Dataset ReadDataset(std::istream& in, const ReadOptions& options) {
  return ReadDatasetWith(in, ParallelOptionsFor(options));
}

FloatDataset ReadFloatDataset(const std::string& path, const ReadOptions& options) {
  return WithFile(path, options.strict,
                  [&options](std::istream& in) { return ReadFloatWholeFrom(in, options.strict); });
}

DatasetShape ProbeDataset(const std::string& path, const ReadOptions& options) {
  return WithFile(path, options.strict, [&options](std::istream& in) {
    const StrictReading strict(in, options.strict);
    FileTools tools;
    return HeaderShape(ReadToDataBlock(tools, in));
  });
}

DatasetShape ProbeDataset(std::istream& in) {
  return ReadFrom(in, std::string(), false, [](std::istream& source) {
    FileTools tools;
    return HeaderShape(ReadToDataBlock(tools, source));
  });
}

}  // namespace mbrk
