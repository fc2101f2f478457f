// What the readers of whole files learn from the element reader beyond the
// elements themselves.
#ifndef MBRK_FILEHANDLER_INTERNAL_ELEMENTREADER_H
#define MBRK_FILEHANDLER_INTERNAL_ELEMENTREADER_H

#include <istream>
#include <optional>

#include "FileHandler/ParseTools.h"

namespace mbrk {

/// tools.ReadElement(nullptr, in, false), the first element of a file, with
/// the same results and errors; the value of the first format version element
/// it passes on the way is stored in `version` when that is still empty.
TElement ReadFirstElement(FileTools& tools, std::istream& in, std::optional<double>& version);

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_ELEMENTREADER_H
