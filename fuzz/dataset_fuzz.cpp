// The value-type reader against the table reader: ReadDataset on a dataset
// file, and on the same bytes from a stream without positions (a pipe, read
// ahead), against ReadDatFile.
//
// A file the table reader rejects must be rejected by ReadDataset with the
// same message, by name at a position inside the file, from the pipe with no
// position. A file it accepts must give a dataset with the tables' shape,
// values and label lists, and the pipe the same dataset.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "Dataset/Dataset.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "fuzz/FuzzSupport.h"

namespace {

using mbrk::Data;
using mbrk::fuzz::SameValue;

// Bytes in memory, handed out a few at a time and without positions.
class PipeBuffer : public std::streambuf {
 public:
  PipeBuffer(const std::uint8_t* data, std::size_t size)
      : at_(reinterpret_cast<const char*>(data)), end_(at_ + size) {}

 protected:
  int_type underflow() override {
    if (at_ == end_) return traits_type::eof();
    // Pieces of a few bytes put the ends of the buffered bytes everywhere.
    const std::size_t piece = std::min<std::size_t>(static_cast<std::size_t>(end_ - at_), 7);
    std::memcpy(piece_, at_, piece);
    at_ += piece;
    setg(piece_, piece_, piece_ + piece);
    return traits_type::to_int_type(*gptr());
  }

 private:
  const char* at_;
  const char* end_;
  char piece_[7];
};

bool SameMatrix(const mbrk::Matrix& a, const mbrk::Matrix& b) {
  if (a.Rows() != b.Rows() || a.Width() != b.Width()) return false;
  for (std::size_t i = 0; i < a.Size(); ++i) {
    if (!SameValue(a.Data()[i], b.Data()[i])) return false;
  }
  return true;
}

bool SameDataset(const mbrk::Dataset& a, const mbrk::Dataset& b) {
  return SameMatrix(a.inputs, b.inputs) && SameMatrix(a.expected, b.expected) &&
         SameMatrix(a.generated, b.generated) && SameMatrix(a.errors, b.errors) &&
         a.expected_labels == b.expected_labels && a.generated_labels == b.generated_labels &&
         a.format_version == b.format_version;
}

// One table of the file against the dataset's two matrices and lists.
void CheckTable(const Data* table, const mbrk::Matrix& inputs, const mbrk::Matrix& outputs,
                const std::optional<std::vector<mbrk::Labels>>& labels, std::size_t rows) {
  MBRK_FUZZ_CHECK(inputs.Rows() == rows && outputs.Rows() == rows);
  if (table == nullptr) {
    MBRK_FUZZ_CHECK(inputs.Width() == 0 && outputs.Width() == 0 && !labels);
    return;
  }
  MBRK_FUZZ_CHECK(static_cast<std::size_t>(table->MbrNdxDataRows) == rows);
  MBRK_FUZZ_CHECK(inputs.Width() == static_cast<std::size_t>(table->MbrLngInputs));
  MBRK_FUZZ_CHECK(outputs.Width() == static_cast<std::size_t>(table->MbrLngOutputs));
  MBRK_FUZZ_CHECK(labels.has_value() == table->MbrBlnLabels);
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t k = 0; k < inputs.Width(); ++k) {
      MBRK_FUZZ_CHECK(SameValue(inputs(row, k), table->MbrDyaRtpInputs[row][k]));
    }
    for (std::size_t k = 0; k < outputs.Width(); ++k) {
      MBRK_FUZZ_CHECK(SameValue(outputs(row, k), table->MbrDyaRtpOutputs[row][k]));
    }
    if (!labels) continue;
    const mbrk::TLabelList& list = table->MbrDyaLabels[row];
    const mbrk::Labels& mine = (*labels)[row];
    MBRK_FUZZ_CHECK(mine.size() == static_cast<std::size_t>(list.MbrLngCount));
    for (std::size_t i = 0; i < mine.size(); ++i) {
      MBRK_FUZZ_CHECK(mine[i].name == list.MbrDyaItems[i].MbrStrName);
      MBRK_FUZZ_CHECK(SameValue(mine[i].value, list.MbrDyaItems[i].MbrDblValue));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static mbrk::fuzz::ScratchFile file;
  file.Write(data, size);

  mbrk::FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  std::string message;
  try {
    mbrk::ReadDatFile(tools, file.name(), first, second);
  } catch (mbrk::FileTools::Error& error) {
    const std::unique_ptr<char[]> text(error.MbrStrMessage);
    message = text.get();
  }
  const std::unique_ptr<Data> table1(first), table2(second);

  std::optional<mbrk::Dataset> by_name;
  try {
    by_name = mbrk::ReadDataset(file.name());
    MBRK_FUZZ_CHECK(message.empty());
    const std::size_t rows = by_name->Rows();
    CheckTable(table1.get(), by_name->inputs, by_name->expected, by_name->expected_labels, rows);
    CheckTable(table2.get(), by_name->generated, by_name->errors, by_name->generated_labels, rows);
  } catch (const mbrk::FormatError& error) {
    MBRK_FUZZ_CHECK(error.Message() == message && !message.empty());
    MBRK_FUZZ_CHECK(error.Offset() >= 0 && static_cast<std::size_t>(error.Offset()) <= size);
    MBRK_FUZZ_CHECK(error.Line() >= 1 && error.Column() >= 1);
  }

  PipeBuffer pipe(data, size);
  std::istream in(&pipe);
  try {
    const mbrk::Dataset piped = mbrk::ReadDataset(in);
    MBRK_FUZZ_CHECK(by_name && SameDataset(*by_name, piped));
  } catch (const mbrk::FormatError& error) {
    MBRK_FUZZ_CHECK(error.Message() == message && !by_name);
    MBRK_FUZZ_CHECK(error.Offset() == -1 && error.Line() == 0);
  }
  return 0;
}
