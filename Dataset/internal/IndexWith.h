// IndexRows with every setting of the scan at hand, so that tests and fuzz
// targets can cut even tiny inputs into many chunks and pieces. Internal:
// not installed.
#ifndef MBRK_DATASET_INTERNAL_INDEXWITH_H
#define MBRK_DATASET_INTERNAL_INDEXWITH_H

#include <cstdint>
#include <string>

#include "Dataset/Dataset.h"
#include "FileHandler/internal/RowScan.h"

namespace mbrk {

/// IndexRows(path, every), scanning with `scan`.
RowIndex IndexRowsWith(const std::string& path, std::int32_t every, const RowScanOptions& scan);

}  // namespace mbrk

#endif  // MBRK_DATASET_INTERNAL_INDEXWITH_H
