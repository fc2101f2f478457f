// The readers of the value-type interface: a dataset file's values go from
// the stream buffer straight into the matrices, once, by the row reader that
// the table readers use.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "Base/internal/DecodingBuffer.h"
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

Window ReadWindow(const std::string& path, std::int64_t offset, std::int32_t count) {
  if (offset < 0) throw std::invalid_argument("ReadWindow: negative offset");
  if (count < 0) throw std::invalid_argument("ReadWindow: negative row count");
  return WithFile(path, [&](std::istream& in) { return ReadWindowFrom(in, offset, count); });
}

DatasetShape ProbeDataset(const std::string& path) { return WithFile(path, ShapeFrom); }

DatasetShape ProbeDataset(std::istream& in) { return ReadFrom(in, std::string(), ShapeFrom); }

}  // namespace mbrk
