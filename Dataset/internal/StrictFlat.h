// The strict reading of a flat file: every word wholly a number and the
// count of numbers exactly what the shape calls for. Internal: not installed.
#ifndef MBRK_DATASET_INTERNAL_STRICTFLAT_H
#define MBRK_DATASET_INTERNAL_STRICTFLAT_H

#include <cstdint>
#include <istream>
#include <optional>
#include <string>

#include "Dataset/Dataset.h"

namespace mbrk::files {

/// The texts of the strict reading's errors.
inline constexpr const char* kNotANumber = "Token (number) expected";
inline constexpr const char* kTooFew = "Unexpected end of file";
inline constexpr const char* kTooMany = "End of file expected";
inline constexpr const char* kDatasetFile = "Dataset file, not a flat file";

/// Reads the flat text of `in` to its end into a dataset whose `inputs` are
/// `inputs` wide and whose `expected` are `outputs` wide (the other two of
/// width 0). Words are separated by white space, line ends included; each
/// must be wholly a number as the flat format writes and reads numbers
/// ([+-]digits[.digits][(e|E)[+-]digits], a mantissa digit on either side of
/// the point), or one of "+INF", "-INF", "+NAN", "-NAN". With `rows` there
/// must be exactly rows x (inputs + outputs) numbers; without, a whole
/// multiple of inputs + outputs (none when that is 0).
///
/// Throws FormatError naming `path` at the point just past the offending
/// word (or the last word, for a file that ends too soon): kNotANumber,
/// kTooFew, kTooMany, or kDatasetFile when the first word opens a tag or a
/// comment of the bracketed format. Memory follows what the text holds: a
/// row is stored once its numbers have been read, whatever the counts asked.
Dataset ReadFlatStrict(std::istream& in, const std::string& path, std::optional<std::int32_t> rows,
                       std::int32_t inputs, std::int32_t outputs);

}  // namespace mbrk::files

#endif  // MBRK_DATASET_INTERNAL_STRICTFLAT_H
