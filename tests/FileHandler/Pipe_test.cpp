// The readers given a named pipe: the same tables, answers and errors as for
// the same bytes in a file, and no tables for rows the pipe never delivers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "KQmessage/KQML.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

namespace fs = std::filesystem;

// A table as text: its shape, then every row held with its labels.
std::string TableText(const Data* table) {
  if (table == nullptr) return "none";
  std::string text = std::to_string(table->MbrNdxRows) + " rows, " +
                     std::to_string(table->MbrNdxDataRows) + " held:";
  char number[40];
  for (std::int32_t row = 0; row < table->MbrNdxDataRows; ++row) {
    for (std::int32_t k = 0; k < table->MbrLngInputs; ++k) {
      std::snprintf(number, sizeof number, " %.17g", table->MbrDyaRtpInputs[row][k]);
      text += number;
    }
    text += " |";
    for (std::int32_t k = 0; k < table->MbrLngOutputs; ++k) {
      std::snprintf(number, sizeof number, " %.17g", table->MbrDyaRtpOutputs[row][k]);
      text += number;
    }
    if (!table->MbrBlnLabels) continue;
    const TLabelList& list = table->MbrDyaLabels[row];
    for (std::int32_t i = 0; i < list.MbrLngCount; ++i) {
      std::snprintf(number, sizeof number, "=%.17g", list.MbrDyaItems[i].MbrDblValue);
      text += std::string(" ") + list.MbrDyaItems[i].MbrStrName + number;
    }
  }
  return text;
}

// What ReadDatFile and LoadDatFile make of `path`, and what the probe says.
std::string ReadersOn(const std::string& path) {
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  std::int32_t result = -1;
  std::string error =
      test::ReaderErrorOf([&] { result = ReadDatFile(tools, path.c_str(), first, second); });
  const std::unique_ptr<Data> owned1(first), owned2(second);
  return std::to_string(result) + " " + error + "\n" + TableText(first) + "\n" + TableText(second);
}

std::string LoaderOn(const std::string& path) {
  FileTools tools;
  Data* table = nullptr;
  std::int32_t result = -1;
  std::string error =
      test::ReaderErrorOf([&] { result = LoadDatFile(tools, path.c_str(), table); });
  const std::unique_ptr<Data> owned(table);
  return std::to_string(result) + " " + error + "\n" + TableText(table);
}

std::string ProbeOn(const std::string& path) {
  FileTools tools;
  std::string answer;
  const std::string error = test::ReaderErrorOf([&] {
    const std::unique_ptr<TKQstructure> probed(ProbeFileHeader(tools, path.c_str()));
    answer = test::Printed(*probed);
  });
  return error + answer;
}

std::vector<std::string> Sources() {
  std::vector<std::string> sources;
  const std::string root = MBRK_SOURCE_DIR;
  for (const auto& entry : fs::directory_iterator(root + "/samples")) {
    sources.push_back(entry.path().string());
  }
  for (const auto& entry : fs::directory_iterator(root + "/tests/hostile")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("pipe-", 0) == 0 || name.rfind("eof-", 0) == 0) {
      if (entry.path().extension() == ".mbrk") sources.push_back(entry.path().string());
    }
  }
  return sources;
}

TEST(NamedPipe, ReadersReadItAsTheSameBytesInAFile) {
  const std::vector<std::string> sources = Sources();
  ASSERT_GE(sources.size(), 15u);
  test::TempDir dir;
  for (const std::string& source : sources) {
    SCOPED_TRACE(source);
    const std::string bytes = test::ReadFile(source);
    const std::string fifo = dir.File("fifo");
    {
      const test::FifoSource pipe(fifo, bytes);
      EXPECT_EQ(ReadersOn(source), ReadersOn(fifo));
    }
    fs::remove(fifo);
    {
      const test::FifoSource pipe(fifo, bytes);
      EXPECT_EQ(LoaderOn(source), LoaderOn(fifo));
    }
    fs::remove(fifo);
    {
      const test::FifoSource pipe(fifo, bytes);
      EXPECT_EQ(ProbeOn(source), ProbeOn(fifo));
    }
    fs::remove(fifo);
  }
}

// A window is reached by a seek: a pipe is refused before its header is read
// and before any table is made.
TEST(NamedPipe, WindowLoaderRefusesItBeforeMakingTables) {
  test::TempDir dir;
  const std::string bytes = test::ReadFile(std::string(MBRK_SOURCE_DIR) + "/samples/sensors.mbrk");
  FileTools tools;
  Data* marker = reinterpret_cast<Data*>(&tools);
  Data* first = marker;
  Data* second = marker;
  std::int64_t offset = 0;
  {
    const test::FifoSource pipe(dir.File("window"), bytes);
    EXPECT_EQ("Unable to seek in file", test::ReaderErrorOf([&] {
                ReadDatFileWindow(tools, pipe.path().c_str(), offset, 2, first, second);
              }));
  }
  EXPECT_EQ(nullptr, first);
  EXPECT_EQ(nullptr, second);
  EXPECT_EQ(0, offset);
  {
    const test::FifoSource pipe(dir.File("load"), "[DataSet][Rows = 1000000000][Inputs = 9]");
    std::int32_t narrow = 0;
    Data* table = marker;
    EXPECT_EQ("Unable to seek in file", test::ReaderErrorOf([&] {
                LoadDatFileWindow(tools, pipe.path().c_str(), narrow, 1000000000, table);
              }));
    EXPECT_EQ(nullptr, table);
  }
}

}  // namespace
}  // namespace mbrk
