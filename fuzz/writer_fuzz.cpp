// The dataset writer, by round trip: a file the reader accepts is written
// back with SaveDatFile, which must succeed, and the written file must read
// back into tables of the same shape, every row value as its "%.15g" text
// reads (17 digits where 15 would overflow) and every label value as its
// "%.9f" text reads. After that first rounding the text is fixed: the tables
// read back from a second writing write the same bytes again.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/Tables.h"

namespace {

using mbrk::Data;
using Table = std::unique_ptr<Data>;

double Rounded(const char* format, double value) {
  if (!std::isfinite(value)) return value;
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return std::strtod(text, nullptr);
}
// Right below the largest double the writer keeps 17 digits, where 15 would
// round past it and read back as infinity.
double RowValue(double value) {
  const double rounded = Rounded("%.15g", value);
  return std::isinf(rounded) && std::isfinite(value) ? value : rounded;
}
double LabelValue(double value) { return Rounded("%.9f", value); }

bool Read(mbrk::FileTools& tools, const char* name, Table& first, Table& second) {
  Data* a = nullptr;
  Data* b = nullptr;
  bool read = false;
  try {
    read = mbrk::ReadDatFile(tools, name, a, b) == mbrk::SUCCESS;
  } catch (mbrk::FileTools::Error& error) {
    delete[] error.MbrStrMessage;
  }
  first.reset(a);
  second.reset(b);
  return read;
}

std::string Contents(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static mbrk::fuzz::ScratchFile source, written, rewritten;
  source.Write(data, size);
  mbrk::FileTools tools;

  Table first, second;
  if (!Read(tools, source.name(), first, second)) return 0;
  if (first == nullptr && second == nullptr) return 0;
  MBRK_FUZZ_CHECK(mbrk::SaveDatFile(tools, written.name(), first.get(), second.get()) ==
                  mbrk::SUCCESS);

  Table first2, second2;
  MBRK_FUZZ_CHECK(Read(tools, written.name(), first2, second2));
  // A table of width 0 and 0 without labels records nothing and reads back as none.
  for (auto [before, after] : {std::pair{&first, &first2}, std::pair{&second, &second2}}) {
    const bool empty = *before && (*before)->MbrLngInputs == 0 && (*before)->MbrLngOutputs == 0 &&
                       !(*before)->MbrBlnLabels;
    if (*before == nullptr || empty) {
      MBRK_FUZZ_CHECK(*after == nullptr);
      continue;
    }
    MBRK_FUZZ_CHECK(*after != nullptr);
    mbrk::fuzz::CheckRows(**before, 0, **after, (*before)->MbrNdxRows, RowValue, LabelValue);
  }

  // The first writing rounds; from then on the text is fixed. (Not before:
  // a label of 1 + 2^-32 is written "a=1.000000000" and reads back as exactly
  // 1, which is then written as the bare name "a".)
  if (first2 == nullptr && second2 == nullptr) return 0;
  MBRK_FUZZ_CHECK(mbrk::SaveDatFile(tools, rewritten.name(), first2.get(), second2.get()) ==
                  mbrk::SUCCESS);
  Table first3, second3;
  MBRK_FUZZ_CHECK(Read(tools, rewritten.name(), first3, second3));
  MBRK_FUZZ_CHECK(mbrk::SaveDatFile(tools, written.name(), first3.get(), second3.get()) ==
                  mbrk::SUCCESS);
  MBRK_FUZZ_CHECK(Contents(written.name()) == Contents(rewritten.name()));
  return 0;
}
