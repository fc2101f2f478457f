// The pieces the readers of the value-type interface share: datasets shaped
// by a header as the row reader's destination, and format errors turned into
// FormatError with their place. Internal: not installed.
#ifndef MBRK_DATASET_INTERNAL_READING_H
#define MBRK_DATASET_INTERNAL_READING_H

#include <cstdint>
#include <istream>
#include <string>

#include "Dataset/Dataset.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/DataBlock.h"
#include "FileHandler/internal/DecodedInput.h"
#include "FileHandler/internal/RowDestination.h"

namespace mbrk {

/// A dataset shaped by the header, with `count` rows of zeros.
Dataset ShapedDataset(const RowLayout& layout, std::int32_t count);

/// A dataset shaped for every row as the row reader's destination: the
/// numbers go straight into the matrices' rows.
class DatasetRows final : public RowDestination {
 public:
  explicit DatasetRows(Dataset& dataset) : dataset_(dataset) {}
  RowPlaces Places(std::int32_t row) override;
  void TakeLabels(TablePart part, std::int32_t row, TLabelList& list) override;

 private:
  Dataset& dataset_;
};

/// How ThrowFormatError finds the place of an error in a file.
enum class LocateIn {
  kPath,    // the file `path` opened once more
  kStream,  // the stream read, from `start` (a file held open, which may have been replaced)
};

/// Turns the reader's error into a FormatError saying where reading stopped,
/// reporting `path` (empty for a stream). `start` is where the input began in
/// `in`. Read strictly, a byte above 127 counts as a token's byte, so an
/// error at one stands just past it.
[[noreturn]] void ThrowFormatError(FileTools::Error& error, std::istream& in, std::streamoff start,
                                   const std::string& path, bool strict,
                                   LocateIn where = LocateIn::kPath);

/// The shape the header gives.
DatasetShape HeaderShape(const DataBlock& block);

/// ThrowFormatError for an input that was compressed: the place is found in
/// the decoded text, or where the damage was met for a damaged stream;
/// `strict` as for ThrowFormatError.
[[noreturn]] void ThrowReadingError(FileTools::Error& error, const DecodedInput& input,
                                    std::istream& raw, std::streamoff start,
                                    const std::string& path, bool strict);

/// The error of a read of `input` (which reads `raw` from `start`): placed
/// by ThrowFormatError (as `where` says) when the input was plain text from
/// the start, else by ThrowReadingError.
[[noreturn]] void ThrowInputError(FileTools::Error& error, const DecodedInput& input,
                                  std::istream& raw, std::streamoff start, const std::string& path,
                                  bool strict, LocateIn where = LocateIn::kPath);

}  // namespace mbrk

#endif  // MBRK_DATASET_INTERNAL_READING_H
