#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "Dataset/Dataset.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

namespace fs = std::filesystem;

const char kSource[] = "[DataSet] [Rows = 2] [Inputs = 1] [Data] 1 2 [~Data] [~DataSet]\n";

std::string Refusal(const std::string& destination, const Dataset& dataset,
                    const std::string& source) {
  try {
    WriteFlat(destination, dataset, source);
  } catch (const std::invalid_argument& error) {
    return error.what();
  }
  return "";
}

TEST(WriteFlat, RefusesItsOwnSourceUnderEveryName) {
  test::TempDir dir;
  const std::string source = dir.File("d.mbrk");
  test::WriteFile(source, kSource);
  fs::create_symlink("d.mbrk", dir.File("soft"));
  fs::create_hard_link(source, dir.File("hard"));
  const Dataset dataset = ReadDataset(source);
  for (const std::string& name :
       {source, dir.path() + "/./d.mbrk", dir.File("soft"), dir.File("hard")}) {
    EXPECT_EQ("Source and destination are the same file", Refusal(name, dataset, source)) << name;
  }
  EXPECT_EQ(kSource, test::ReadFile(source));
  EXPECT_EQ("", Refusal(dir.File("d.flat"), dataset, source));
  EXPECT_EQ("1 \n2 \n", test::ReadFile(dir.File("d.flat")));
}

TEST(WriteFlat, RefusesADatasetWithoutInputsOrExpectedOutputs) {
  test::TempDir dir;
  for (const char* text : {"[DataSet][Rows = 2][GeneratedOutputs = 1][Data] 5 6 [~Data][~DataSet]",
                           "[DataSet][Rows = 20000000][Data][~Data][~DataSet]"}) {
    test::WriteFile(dir.File("d.mbrk"), text);
    EXPECT_EQ("No inputs or expected outputs to convert",
              Refusal(dir.File("d.flat"), ReadDataset(dir.File("d.mbrk")), ""))
        << text;
    EXPECT_FALSE(test::FileExists(dir.File("d.flat")));
  }
  // Label lists alone make a table for the converter: a line per row.
  test::WriteFile(dir.File("d.mbrk"),
                  "[DataSet][Rows = 2][ExpectedOutputs = Labels][Data] [a] [b] [~Data][~DataSet]");
  EXPECT_EQ("", Refusal(dir.File("d.flat"), ReadDataset(dir.File("d.mbrk")), ""));
  EXPECT_EQ("\n\n", test::ReadFile(dir.File("d.flat")));
}

}  // namespace
}  // namespace mbrk
