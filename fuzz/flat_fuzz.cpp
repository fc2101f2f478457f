// The flat file reader against the library's own formatted extraction.
//
// The first three bytes choose the row count and the two widths (255 stands
// for -1, which must be refused); the rest is the file. TFlatFiler::ReadData
// takes its numbers straight from the stream buffer for speed, and must read
// exactly what `in >> value` reads, position by position, leaving the stream
// in the same state at the same place.
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/FlatFiler.h"
#include "fuzz/FuzzSupport.h"

namespace {

std::int32_t Count(std::uint8_t byte, int modulus) { return byte == 255 ? -1 : byte % modulus; }

// The reading the flat reader promises, done the slow way: every position
// by the library's extraction; once the stream has failed, a position keeps
// the previous row's value (0.0 in the first row).
void Reference(std::istream& in, std::vector<double>& values) {
  for (double& value : values) {
    if (!in) return;
    in >> value;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::int32_t rows = Count(data[0], 40);
  const std::int32_t inputs = Count(data[1], 9);
  const std::int32_t outputs = Count(data[2], 9);
  const std::string text(reinterpret_cast<const char*>(data) + 3, size - 3);

  std::istringstream in(text);
  mbrk::Data* read = nullptr;
  try {
    mbrk::TFlatFiler::ReadData(in, read, rows, inputs, outputs);
  } catch (mbrk::TException&) {
    MBRK_FUZZ_CHECK(rows < 0 || inputs < 0 || outputs < 0);
    MBRK_FUZZ_CHECK(read == nullptr);
    return 0;
  }
  const std::unique_ptr<mbrk::Data> table(read);
  MBRK_FUZZ_CHECK(rows >= 0 && inputs >= 0 && outputs >= 0);
  MBRK_FUZZ_CHECK(table != nullptr && table->MbrNdxDataRows == rows);

  std::istringstream ref(text);
  std::vector<double> ref_inputs(static_cast<std::size_t>(inputs));
  std::vector<double> ref_outputs(static_cast<std::size_t>(outputs));
  std::vector<double> got(static_cast<std::size_t>(inputs > outputs ? inputs : outputs) + 1);
  for (std::int32_t row = 0; row < rows; ++row) {
    Reference(ref, ref_inputs);
    Reference(ref, ref_outputs);
    table->GetInputRow(row, got.data());
    for (std::int32_t k = 0; k < inputs; ++k) {
      MBRK_FUZZ_CHECK(mbrk::fuzz::SameValue(got[k], ref_inputs[k]));
    }
    table->GetOutputRow(row, got.data());
    for (std::int32_t k = 0; k < outputs; ++k) {
      MBRK_FUZZ_CHECK(mbrk::fuzz::SameValue(got[k], ref_outputs[k]));
    }
  }
  MBRK_FUZZ_CHECK(in.rdstate() == ref.rdstate());
  // Whatever follows the last row is left unread, and at the same place.
  MBRK_FUZZ_CHECK(in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in) ==
                  ref.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
  return 0;
}
