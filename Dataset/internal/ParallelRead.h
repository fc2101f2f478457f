// ReadDataset with every setting of the parallel reader at hand, so that tests
// and fuzz targets can make chunks and pieces as small as they like and read
// even tiny inputs on several threads. Internal: not installed.
#ifndef MBRK_DATASET_INTERNAL_PARALLELREAD_H
#define MBRK_DATASET_INTERNAL_PARALLELREAD_H

#include <istream>
#include <string>

#include "Dataset/Dataset.h"
#include "FileHandler/internal/ParallelRows.h"

namespace mbrk {

/// The settings ReadDataset reads with for `options`.
ParallelRowOptions ParallelOptionsFor(const ReadOptions& options);

/// ReadDataset(path, ...) and ReadDataset(in, ...), reading the data block's
/// numbers with `options`.
Dataset ReadDatasetWith(const std::string& path, const ParallelRowOptions& options);
Dataset ReadDatasetWith(std::istream& in, const ParallelRowOptions& options);

}  // namespace mbrk

#endif  // MBRK_DATASET_INTERNAL_PARALLELREAD_H
