// Windows of rows: a run of a data block's rows reached by one seek, as the
// window loader and the value-type interface read them.
#ifndef MBRK_FILEHANDLER_INTERNAL_WINDOW_H
#define MBRK_FILEHANDLER_INTERNAL_WINDOW_H

#include <cstdint>
#include <istream>

#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/RowReader.h"

namespace mbrk {

/// Throws "Unable to seek in file" unless `in`'s buffer can tell positions: a
/// window is reached by a seek, so a stream without positions (a pipe) is
/// refused before anything is read from it or made for it.
void RequirePositions(std::istream& in);

/// Moves `in` forward by `offset` bytes from where it stands, the window
/// base, and returns the base. One seek, however far: the rows skipped are
/// never read. Throws "Unexpected end of file" for an offset past the end of
/// the input rather than taking it for an empty window.
std::streamoff SeekWindow(std::istream& in, std::int64_t offset);

/// Reads `count` rows from where `in` stands into `destination`, numbered
/// from 0. `rows_left` is how many rows of the data block are left from where
/// `in` stands, or -1 when that is not known. The rows up to `rows_left` are
/// read as the whole-file reader reads them. A row past the last one (every
/// row, when `rows_left` is not known) meets the data block's end tag where
/// its first number is due: "Token (number) expected"; in rows of label lists
/// only, whose lists a list reader would read the end tag as, the end tag
/// (after any format version elements, which the element reader passes over)
/// is looked for before each such row: "Unexpected End Tag".
void ReadWindowRows(FileTools& tools, std::istream& in, DataBlock& block, std::int32_t count,
                    RowDestination& destination, std::int32_t rows_left = -1);

/// Where `in` stands, in bytes from `base`.
std::int64_t OffsetFrom(std::istream& in, std::streamoff base);

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_WINDOW_H
