// How the readers of the value-type interface read a named file and report
// its format errors. Internal: not installed.
#ifndef MBRK_DATASET_INTERNAL_FILEREADS_H
#define MBRK_DATASET_INTERNAL_FILEREADS_H

#include <istream>
#include <string>
#include <utility>

#include "Dataset/internal/Files.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/InputFile.h"

namespace mbrk {

/// Turns the reader's error into a FormatError saying where reading stopped.
/// `start` is where the input began in `in`; with a `path` the file is read
/// once more from its start, else the stream is (and left where it stopped).
[[noreturn]] void ThrowFormatError(FileTools::Error& error, std::istream& in, std::streamoff start,
                                   const std::string& path);

/// Runs `read` on the file `path`, opened for it, and reports its format
/// errors with their position.
template <typename Read>
auto WithFile(const std::string& path, Read read) -> decltype(read(std::declval<std::istream&>())) {
  InputFile file;
  files::OpenForReading(file, path);
  try {
    return read(file.stream());
  } catch (FileTools::Error& error) {
    ThrowFormatError(error, file.stream(), 0, path);
  }
}

}  // namespace mbrk

#endif  // MBRK_DATASET_INTERNAL_FILEREADS_H
