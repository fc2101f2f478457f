// Reader faults found by fuzzing, each pinned by the smallest input that
// showed it. The inputs themselves are also replayed from
// fuzz/regressions/.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

// A header declaring two billion rows but no vector at all once made the
// reader turn its row loop two billion times over nothing.
TEST(ReaderRobustness, RowsWithoutAnyVectorAreNotLoopedOver) {
  test::TempDir dir;
  const std::string path = dir.File("empty-rows.mbrk");
  test::WriteFile(path, "[DataSet][Rows = 2147483647][Inputs = 0][Data][~Data][~DataSet]");
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  EXPECT_EQ(SUCCESS, ReadDatFile(tools, path.c_str(), first, second));
  EXPECT_EQ(nullptr, first);
  EXPECT_EQ(nullptr, second);
}

// A header claiming gigabytes of rows must be refused before anything is
// allocated when the file cannot hold them, also when the data block's start
// tag is the last thing in the file and the stream has already seen its end.
TEST(ReaderRobustness, HugeTablesAreRefusedBeforeAllocationAtTheEndOfTheInput) {
  test::TempDir dir;
  const std::string path = dir.File("huge.mbrk");
  for (const std::string text : {"[DataSet][Rows =4120000][Inputs = 1000][Data\xa8 ",
                                 "[DataSet][Rows =4120000][Inputs = 1000][Data]",
                                 "[DataSet][Rows =4120000][Inputs = 1000][Data] 1 2 3"}) {
    SCOPED_TRACE(text);
    test::WriteFile(path, text);
    FileTools tools;
    Data* first = nullptr;
    Data* second = nullptr;
    EXPECT_EQ("Unexpected end of file",
              test::ReaderErrorOf([&] { ReadDatFile(tools, path.c_str(), first, second); }));
    const std::unique_ptr<Data> owned1(first), owned2(second);
    EXPECT_EQ(nullptr, first);  // refused before the table was made
  }
}

// The first table, partly filled, stays with the caller when the reader
// throws: the command and the fuzz targets release it.
TEST(ReaderRobustness, LoadLeavesThePartlyFilledFirstTableToTheCaller) {
  test::TempDir dir;
  const std::string path = dir.File("cut.mbrk");
  test::WriteFile(path, "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = 1][Data] 1 2");
  FileTools tools;
  Data* table = nullptr;
  EXPECT_EQ("Unexpected end of file",
            test::ReaderErrorOf([&] { LoadDatFile(tools, path.c_str(), table); }));
  const std::unique_ptr<Data> owned(table);
  ASSERT_NE(nullptr, owned);
  EXPECT_EQ(1, owned->MbrNdxDataRows);
}

}  // namespace
}  // namespace mbrk
