// What a read of the value-type interface gives, as bytes that compare equal
// exactly when two reads gave the same: the dataset's values, label lists and
// format version, or the error's text and offset.
#ifndef MBRK_FUZZ_DATASETOUTCOME_H
#define MBRK_FUZZ_DATASETOUTCOME_H

#include <new>
#include <string>

#include "Dataset/Dataset.h"

namespace mbrk::fuzz {

/// Appends each matrix's shape and values, the label lists and the format
/// version of `dataset`.
inline void AppendDataset(std::string& bytes, const Dataset& dataset) {
  for (const Matrix* m :
       {&dataset.inputs, &dataset.expected, &dataset.generated, &dataset.errors}) {
    bytes += std::to_string(m->Rows()) + "x" + std::to_string(m->Width()) + ":";
    if (m->Size() != 0) {
      bytes.append(reinterpret_cast<const char*>(m->Data()), m->Size() * sizeof(double));
    }
  }
  for (const auto* lists : {&dataset.expected_labels, &dataset.generated_labels}) {
    if (!lists->has_value()) continue;
    for (const Labels& labels : **lists) {
      for (const Label& label : labels) {
        bytes += label.name + "=";
        bytes.append(reinterpret_cast<const char*>(&label.value), sizeof label.value);
      }
      bytes += ";";
    }
  }
  if (dataset.format_version) {
    bytes.append(reinterpret_cast<const char*>(&*dataset.format_version), sizeof(double));
  }
}

/// The bytes `read(bytes)` appends, or the FormatError it throws ("error ",
/// its text and offset), or "bad_alloc" for a size no machine has the memory
/// for.
template <typename Read>
std::string ReadOutcome(Read read) {
  std::string bytes;
  try {
    read(bytes);
    return bytes;
  } catch (const FormatError& error) {
    return "error " + std::string(error.what()) + " @" + std::to_string(error.Offset());
  } catch (const std::bad_alloc&) {
    return "bad_alloc";
  }
}

}  // namespace mbrk::fuzz

#endif  // MBRK_FUZZ_DATASETOUTCOME_H
