// Windows read one after another give what reading the whole file gives: its
// rows, or its error at the same place; they refuse a file that changes
// under them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "Dataset/Dataset.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

// The rows of `parts` one after another, as text, or the error with its place.
template <typename Read>
std::string Outcome(Read read) {
  try {
    std::string text;
    for (const Dataset& part : read()) {
      for (std::size_t r = 0; r < part.Rows(); ++r) {
        text += "\n";
        for (const Matrix* m : {&part.inputs, &part.expected, &part.generated, &part.errors}) {
          for (std::size_t k = 0; k < m->Width(); ++k) text += " " + test::Format((*m)(r, k));
        }
        if (part.expected_labels) {
          for (const Label& label : (*part.expected_labels)[r]) {
            text += " " + label.name + "=" + test::Format(label.value);
          }
        }
      }
    }
    return text;
  } catch (const FormatError& error) {
    return error.what() + std::string(" @") + std::to_string(error.Offset());
  }
}

const char* const kFiles[] = {
    "[DataSet] [Rows = 2] [Inputs = 2] [Data] 1 2 3 4 [~Data] [~DataSet]",
    "[DataSet] [Rows = 2] [Inputs = 2] [Data] 1 2 3 4 5 [~Data] [~DataSet]",
    "[DataSet] [Rows = 2] [Inputs = 2] [Data] 1 2 3 4",
    "[DataSet] [Rows = 2] [Inputs = 2] [Data] 1 2 3 4 [~Data]",
    "[DataSet] [Rows = 2] [Inputs = 2] [Data] 1 2 3 4 [~Data] [~DataSet] 5",
    "[DataSet] [Rows = 2] [Inputs = 2] [Data] 1 2 3 4 [~Data] [~DataSet] /* end */",
    "[DataSet] [Rows = 3] [Inputs = 2] [Data] 1 2 3 4 [~Data] [~DataSet]",
    "[DataSet] [Rows = 0] [Inputs = 2] [Data] [~Data] [~DataSet]",
    "[DataSet] [Rows = 0] [Inputs = 2] [Data] 1 [~Data] [~DataSet]",
    "[DataSet] [Rows = 3] [GeneratedOutputs = 0] [Data] [~Data] [~DataSet]",
    "[DataSet] [Rows = 3] [GeneratedOutputs = 0] [Data] 7 [~Data] [~DataSet]",
    "[DataSet] [Rows = 1] [ExpectedOutputs = Labels] [Data] [FormatVersion = 1] [~Data] "
    "[~DataSet]",
    "[DataSet] [Rows = 1] [ExpectedOutputs = Labels] [Data] [~Data] [~Data] [~DataSet]",
    "[DataSet] [Rows = 3] [ExpectedOutputs = Labels] [Data] [a] [FormatVersion=1] [~Data] "
    "[~Data] [~DataSet]",
    "[DataSet] [Rows = 2] [ExpectedOutputs = Labels] [Data] [a] [~Data] [~DataSet]",
    "[DataSet] [Rows = 2] [Inputs = 1] [ExpectedOutputs = Labels] [Data] 1 [a=2] 3 [b] [c] "
    "[~Data] [~DataSet]",
    // Too short for its rows: refused where the data block starts.
    "[DataSet] [Rows = 2000000000] [Inputs = 1000] [Data] 1 2 3",
    "[DataSet] [Rows = 100000000] [ExpectedOutputs = Labels] [Data] []",
};

TEST(WindowReader, WindowAfterWindowGivesTheWholeFilesRowsOrItsError) {
  test::TempDir dir;
  const std::string path = dir.File("windows.mbrk");
  for (const char* file : kFiles) {
    test::WriteFile(path, file);
    const std::string whole = Outcome([&] { return std::vector<Dataset>{ReadDataset(path)}; });
    for (std::int32_t size = 1; size <= 4; ++size) {
      const std::string windows = Outcome([&] {
        WindowReader reader(path);
        std::vector<Dataset> parts{reader.Next(0)};
        while (!reader.AtEnd()) parts.push_back(reader.Next(size));
        EXPECT_EQ(reader.NextRow(), reader.Shape().rows);
        EXPECT_EQ(0u, reader.Next(size).Rows());  // nothing after the end
        return parts;
      });
      EXPECT_EQ(whole, windows) << file << "\nwindows of " << size;
      const std::string chain = Outcome([&] {
        const std::int32_t rows = ProbeDataset(path).rows;
        Window window = ReadWindow(path, 0, 0, 0);
        std::vector<Dataset> parts{window.rows};
        for (std::int32_t row = 0; row < rows; row += size) {
          window = ReadWindow(path, window.next_offset, std::min(size, rows - row), row);
          parts.push_back(window.rows);
        }
        return parts;
      });
      EXPECT_EQ(whole, chain) << file << "\nReadWindow chain of " << size;
    }
  }
}

TEST(WindowReader, StartsAtAnOffsetAndRowFromAnEarlierWindow) {
  test::TempDir dir;
  const std::string path = dir.File("start.mbrk");
  test::WriteFile(path, "[DataSet] [Rows = 3] [Inputs = 1] [Data] 1 2 3 [~Data] [~DataSet] x");
  WindowReader first(path);
  first.Next(2);
  WindowReader rest(path, first.NextOffset(), first.NextRow());
  try {
    rest.Next(5);
    ADD_FAILURE() << "read past the data block";
  } catch (const FormatError& error) {
    EXPECT_EQ("End Tag expected", error.Message());
    EXPECT_EQ(67, error.Offset());
  }
  EXPECT_THROW(WindowReader(path, -1, 0), std::invalid_argument);
  EXPECT_THROW(WindowReader(path, 0, 4), std::invalid_argument);
  EXPECT_THROW(first.Next(-1), std::invalid_argument);
}

// A file replaced, grown or rewritten between two windows is refused rather
// than read on at an offset that no longer means the same row.
TEST(WindowReader, RefusesAFileThatChangedBetweenWindows) {
  const std::string text =
      "[DataSet] [Rows = 2] [Inputs = 3] [Data]\n123456.25 7 7\n8 8 8\n[~Data] [~DataSet]\n";
  const std::string moved =
      "[DataSet] [Rows = 2] [Inputs = 3] [Data]\n7 7 123456.25\n8 8 8\n[~Data] [~DataSet]\n";
  const std::string grown = "/* a comment in front */ " + text;
  struct Change {
    const char* what;
    void (*make)(const std::string& path, const std::string& bytes);
    std::string bytes;
  };
  const auto in_place = [](const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "r+");
    ASSERT_NE(nullptr, file);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  };
  const auto replaced = [](const std::string& path, const std::string& bytes) {
    test::WriteFile(path + ".new", bytes);
    ASSERT_EQ(0, std::rename((path + ".new").c_str(), path.c_str()));
  };
  const auto removed = [](const std::string& path, const std::string&) {
    std::remove(path.c_str());
  };
  const Change changes[] = {{"rewritten in place, same size", in_place, moved},
                            {"rewritten in place, grown", in_place, grown},
                            {"replaced", replaced, moved},
                            {"replaced by the same bytes", replaced, text},
                            {"removed", removed, ""}};
  test::TempDir dir;
  const std::string path = dir.File("changing.mbrk");
  for (const Change& change : changes) {
    test::WriteFile(path, text);
    WindowReader reader(path);
    EXPECT_EQ(123456.25, reader.Next(1).inputs(0, 0));
    // A later modification time, whatever the clock's grain.
    change.make(path, change.bytes);
    if (change.make == in_place) {
      const std::string touch = "touch -d '+1 minute' '" + path + "'";
      ASSERT_EQ(0, std::system(touch.c_str()));
    }
    try {
      reader.Next(1);
      ADD_FAILURE() << change.what << ": read on";
    } catch (const std::system_error& error) {
      EXPECT_EQ(ESTALE, error.code().value()) << change.what;
      EXPECT_NE(std::string::npos, std::string(error.what()).find("changed")) << error.what();
    }
  }
}

}  // namespace
}  // namespace mbrk
