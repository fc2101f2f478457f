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
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ParallelRows.h"
#include "FileHandler/internal/ReadRecipe.h"
#include "FileHandler/internal/Strict.h"

namespace mbrk {

namespace {

// The piece in which a file is read once more to find where an error stands.
constexpr std::size_t kLocateChunk = 256 * 1024;

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

}  // namespace

Dataset ShapedDataset(const RowLayout& layout, std::int32_t count) {
  const auto rows = static_cast<std::size_t>(count);
  Dataset dataset;
  dataset.inputs = Matrix(rows, static_cast<std::size_t>(layout.inputs));
  dataset.expected = Matrix(rows, static_cast<std::size_t>(layout.expected));
  dataset.generated = Matrix(rows, static_cast<std::size_t>(layout.generated));
  dataset.errors = Matrix(rows, static_cast<std::size_t>(layout.errors));
  if (layout.labels1) dataset.expected_labels.emplace(rows);
  if (layout.labels2) dataset.generated_labels.emplace(rows);
  return dataset;
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

// ---- Positions of errors -----------------------------------------------------------

struct Position {
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::int64_t offset = -1;
};

// Reads `length` bytes of `sb` from where it stands and finds the point just
// past the last byte among them that is not a separator. Only ever run once
// reading has failed: the reader itself keeps no count of lines.
Position Locate(std::streambuf& sb, std::int64_t length, bool strict) {
  Position mark{1, 1, 0};
  std::int64_t line = 1, column = 1, offset = 0;
  bool after_cr = false;
  // No larger than the bytes to read: a small file costs no large buffer.
  const auto chunk_size = static_cast<std::size_t>(
      std::clamp<std::int64_t>(length, 1, static_cast<std::int64_t>(kLocateChunk)));
  std::unique_ptr<char[]> chunk(new char[chunk_size]);
  while (offset < length) {
    const auto wanted = static_cast<std::streamsize>(
        std::min<std::int64_t>(length - offset, static_cast<std::int64_t>(chunk_size)));
    const std::streamsize got = sb.sgetn(chunk.get(), wanted);
    if (got <= 0) break;
    for (std::streamsize i = 0; i < got; ++i) {
      const auto c = static_cast<unsigned char>(chunk[static_cast<std::size_t>(i)]);
      if (c == '\n') {
        if (!after_cr) ++line;
        column = 1;
        after_cr = false;
      } else if (c == '\r') {
        ++line;
        column = 1;
        after_cr = true;
      } else {
        after_cr = false;
        ++column;
        if (!IsSeparator(c) || (strict && c > 127)) mark = Position{line, column, offset + i + 1};
      }
    }
    offset += got;
  }
  return mark;
}

}  // namespace

void ThrowFormatError(FileTools::Error& error, std::istream& in, std::streamoff start,
                      const std::string& path, bool strict, LocateIn where) {
  const std::unique_ptr<char[]> message(error.MbrStrMessage);
  const std::string text = message != nullptr ? message.get() : "";
  std::streambuf* const sb = in.rdbuf();
  const std::streamoff stop = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  Position at;
  if (start >= 0 && stop >= start) {
    if (!path.empty() && where == LocateIn::kPath) {
      InputFile again;
      if (OpenInput(again, path.c_str(), std::ios::binary) == InputStatus::kOpen) {
        at = Locate(*again.stream().rdbuf(), stop, strict);
      }
    } else if (std::streamoff(sb->pubseekpos(start, std::ios::in)) == start) {
      at = Locate(*sb, stop - start, strict);
      sb->pubseekpos(stop, std::ios::in);
    }
  }
  throw FormatError(text, path, at.line, at.column, at.offset);
}

namespace {

// Runs `read` on the file `path`, opened for it, and reports its format
// errors with their position.
template <typename Read>
auto WithFile(const std::string& path, bool strict, Read read)
    -> decltype(read(std::declval<std::istream&>())) {
  InputFile file;
  files::OpenForReading(file, path);
  try {
    return read(file.stream());
  } catch (FileTools::Error& error) {
    ThrowFormatError(error, file.stream(), 0, path, strict);
  }
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
  const std::streamoff start = Tell(in);
  try {
    return ReadWholeFrom(in, options);
  } catch (FileTools::Error& error) {
    ThrowFormatError(error, in, start, std::string(), options.strict);
  }
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
    const DataBlock block = ReadToDataBlock(tools, in);
    const RowLayout& layout = block.layout;
    DatasetShape shape;
    shape.rows = block.rows;
    shape.inputs = layout.inputs;
    shape.expected = layout.expected;
    shape.generated = layout.generated;
    shape.errors = layout.errors;
    shape.expected_labels = layout.labels1;
    shape.generated_labels = layout.labels2;
    shape.format_version = block.format_version;
    return shape;
  });
}

}  // namespace mbrk
