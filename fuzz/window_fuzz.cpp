// The windowed loader, with the window taken from the input.
//
// The first three bytes give the offset (two bytes) and the row count (255
// for -1, which must be refused); the fourth picks the 32- or 64-bit offset
// form; the rest is the dataset file. Whatever the window, the loader must
// end in a documented error or hand back tables of `count` rows, leaking
// nothing. And when the whole file reads, two windows chained by the
// returned offset, from 0, must read exactly the rows the whole file holds.
#include <cstdint>
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

struct Window {
  bool read = false;
  Table first, second;
  std::int64_t next = 0;
};

Window ReadWindow(mbrk::FileTools& tools, const char* name, std::int64_t offset, std::int32_t count,
                  bool narrow) {
  Window window;
  Data* first = nullptr;
  Data* second = nullptr;
  try {
    std::int32_t result;
    if (narrow) {
      std::int32_t offset32 = static_cast<std::int32_t>(offset);
      result = mbrk::ReadDatFileWindow(tools, name, offset32, count, first, second);
      window.next = offset32;
    } else {
      std::int64_t offset64 = offset;
      result = mbrk::ReadDatFileWindow(tools, name, offset64, count, first, second);
      window.next = offset64;
    }
    MBRK_FUZZ_CHECK(result == mbrk::SUCCESS);
    window.read = true;
  } catch (mbrk::FileTools::Error& error) {
    const std::unique_ptr<char[]> message(error.MbrStrMessage);
    MBRK_FUZZ_CHECK(mbrk::fuzz::IsWindowMessage(message.get()));
    MBRK_FUZZ_CHECK(error.MbrPtrStream == nullptr);  // the loader's stream is gone
  }
  window.first.reset(first);
  window.second.reset(second);
  if (window.read) {
    MBRK_FUZZ_CHECK(window.next >= offset);
    for (const Table* table : {&window.first, &window.second}) {
      if (*table) MBRK_FUZZ_CHECK((*table)->MbrNdxDataRows == count);
    }
  }
  return window;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  static mbrk::fuzz::ScratchFile file;
  const std::int64_t offset = data[0] | (data[1] << 8);
  const std::int32_t count = data[2] == 255 ? -1 : data[2] % 40;
  const bool narrow = (data[3] & 1) != 0;
  file.Write(data + 4, size - 4);
  mbrk::FileTools tools;

  ReadWindow(tools, file.name(), offset, count, narrow);

  Data* first = nullptr;
  Data* second = nullptr;
  bool whole = false;
  try {
    whole = mbrk::ReadDatFile(tools, file.name(), first, second) == mbrk::SUCCESS;
  } catch (mbrk::FileTools::Error& error) {
    delete[] error.MbrStrMessage;
  }
  const Table all1(first), all2(second);
  if (!whole || (all1 == nullptr && all2 == nullptr)) return 0;

  const std::int32_t rows = all1 ? all1->MbrNdxDataRows : all2->MbrNdxDataRows;
  const std::int32_t head = count < 0 ? 0 : (count < rows ? count : rows);
  const Window a = ReadWindow(tools, file.name(), 0, head, narrow);
  MBRK_FUZZ_CHECK(a.read);
  const Window b = ReadWindow(tools, file.name(), a.next, rows - head, narrow);
  MBRK_FUZZ_CHECK(b.read);
  const auto same = mbrk::fuzz::Same;
  if (all1) {
    MBRK_FUZZ_CHECK(a.first && b.first);
    mbrk::fuzz::CheckRows(*all1, 0, *a.first, head, same, same);
    mbrk::fuzz::CheckRows(*all1, head, *b.first, rows - head, same, same);
  }
  if (all2) {
    MBRK_FUZZ_CHECK(a.second && b.second);
    mbrk::fuzz::CheckRows(*all2, 0, *a.second, head, same, same);
    mbrk::fuzz::CheckRows(*all2, head, *b.second, rows - head, same, same);
  }
  return 0;
}
