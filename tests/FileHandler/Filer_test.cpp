#include "FileHandler/Filer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "KQmessage/KQML.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

std::string Labels(const TLabelList* list) {
  std::ostringstream text;
  for (std::int32_t i = 0; list != nullptr && i < list->MbrLngCount; ++i) {
    text << list->MbrDyaItems[i].MbrStrName << "=" << list->MbrDyaItems[i].MbrDblValue << ";";
  }
  return text.str();
}

class FilerTest : public ::testing::Test {
 protected:
  std::int32_t Read(const std::string& text) {
    test::WriteFile(path_, text);
    Data* first = nullptr;
    Data* second = nullptr;
    const std::int32_t result = ReadDatFile(tools_, path_.c_str(), first, second);
    first_.reset(first);
    second_.reset(second);
    return result;
  }

  FileTools tools_;
  test::TempDir dir_;
  std::string path_ = dir_.File("d.mbrk");
  std::unique_ptr<Data> first_, second_;
};

TEST_F(FilerTest, ReadsBothTablesRowByRow) {
  ASSERT_EQ(SUCCESS, Read("[FormatVersion = 1.0][DataSet][Rows = 2][Inputs = 2]"
                          "[ExpectedOutputs = 1][GeneratedOutputs = 1][Error = 1]"
                          "[Data] 1 2 3 4 5\n 6,7 8 9 10 [~Data][~DataSet] /* done */"));
  ASSERT_TRUE(first_ && second_);
  EXPECT_EQ(2, first_->MbrNdxRows);
  EXPECT_EQ(2, first_->MbrNdxDataRows);
  EXPECT_EQ(2, first_->MbrLngInputs);
  EXPECT_EQ(1, first_->MbrLngOutputs);
  EXPECT_FALSE(first_->MbrBlnLabels);
  double v = 0;
  first_->GetInputDatum(1, 1, &v);
  EXPECT_EQ(7, v);
  first_->GetOutputDatum(1, 0, &v);
  EXPECT_EQ(8, v);
  second_->GetInputDatum(0, 0, &v);
  EXPECT_EQ(4, v);
  second_->GetOutputDatum(1, 0, &v);
  EXPECT_EQ(10, v);
}

TEST_F(FilerTest, LabelListsAccumulateAndFollowAllNumbers) {
  ASSERT_EQ(SUCCESS, Read("[dataset][rows = 4][inputs = 1][expectedoutputs = labels]"
                          "[generatedoutputs = -1][data]"
                          "1 [] [x]\n"
                          "2 [a b=0.5] [y=2 y=-0.5]\n"
                          "3 [a a=2] /*/ [Cat cat]\n"
                          "4 /* c */ [ q = 1e3 ] []"
                          "[~data][~dataset]"));
  ASSERT_TRUE(first_ && second_);
  EXPECT_TRUE(first_->MbrBlnLabels);
  EXPECT_EQ(0, first_->MbrLngOutputs);
  EXPECT_EQ(0, second_->MbrLngInputs);
  const char* expected1[] = {"", "a=1;b=0.5;", "a=3;", "q=1000;"};
  const char* expected2[] = {"x=1;", "y=1.5;", "Cat=1;cat=1;", ""};
  for (int row = 0; row < 4; ++row) {
    TLabelList* list = nullptr;
    first_->GetLabels(row, &list);
    EXPECT_EQ(expected1[row], Labels(list)) << row;
    second_->GetLabels(row, &list);
    EXPECT_EQ(expected2[row], Labels(list)) << row;
  }
}

TEST_F(FilerTest, HeaderValueRules) {
  // -1 is Labels; other negatives mean no vector and no labels.
  ASSERT_EQ(SUCCESS, Read("[DataSet][Rows = 1][Rows = 2][Inputs = 1][ExpectedOutputs = -3]"
                          "[Data] 1 2 [~Data][~DataSet]"));
  ASSERT_TRUE(first_);
  EXPECT_EQ(2, first_->MbrNdxRows);
  EXPECT_EQ(0, first_->MbrLngOutputs);
  EXPECT_FALSE(first_->MbrBlnLabels);
  EXPECT_FALSE(second_);

  ASSERT_EQ(SUCCESS,
            Read("[DataSet][Inputs = 1][Error = 1][Rows = 1][Data] 1 2 [~Data][~DataSet]"));
  EXPECT_TRUE(first_ && second_);
}

TEST_F(FilerTest, HeaderStopsAtAFieldOutOfPlace) {
  const struct {
    const char* header;
    std::int32_t result;
    const char* left;  // name of the element left for the caller
  } cases[] = {
      {"[Rows = 1][Inputs = 1][Data]", SUCCESS, "Data"},
      {"[Rows = 1][ExpectedOutputs = 1][Inputs = 1][Data]", UNEXPECTED_CONTENT, "Inputs"},
      {"[Inputs = 1][Inputs = 2][Data]", UNEXPECTED_CONTENT, "Inputs"},
      {"[Error = 1][GeneratedOutputs = 2][Data]", UNEXPECTED_CONTENT, "GeneratedOutputs"},
      {"[Colour = 1][Data]", UNEXPECTED_CONTENT, "Colour"},
      {"[Rows = 1 more][Data]", UNEXPECTED_CONTENT, "Rows"},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.header);
    std::int32_t i, e, g, err, rows;
    TElement element{};
    EXPECT_EQ(c.result, ReadDatFileHeader(tools_, in, i, e, g, err, rows, element)) << c.header;
    ASSERT_NE(nullptr, element.MbrStrName);
    EXPECT_STREQ(c.left, element.MbrStrName);
    delete[] element.MbrStrName;
    delete[] element.MbrStrValue;
  }
}

TEST_F(FilerTest, ExceptionLeavesThePartlyFilledTablesWithTheCaller) {
  test::WriteFile(path_, "[DataSet][Rows = 3][Inputs = 1][Error = 1][Data] 1 2 3 x");
  Data* first = nullptr;
  Data* second = nullptr;
  EXPECT_EQ("number-expected",
            test::ReaderErrorOf([&] { ReadDatFile(tools_, path_.c_str(), first, second); }));
  first_.reset(first);
  second_.reset(second);
  ASSERT_TRUE(first_ && second_);
  EXPECT_EQ(1, first_->MbrNdxDataRows);
}

TEST_F(FilerTest, MissingFileLeavesThePlacesUntouched) {
  Data* first = reinterpret_cast<Data*>(&tools_);
  Data* second = first;
  EXPECT_EQ(FILE_OPEN_ERROR, ReadDatFile(tools_, dir_.File("none").c_str(), first, second));
  EXPECT_EQ(reinterpret_cast<Data*>(&tools_), first);
  EXPECT_EQ(reinterpret_cast<Data*>(&tools_), second);
}

TEST_F(FilerTest, LoadDropsTheSecondTable) {
  test::WriteFile(path_, "[DataSet][Rows = 1][Inputs = 1][Error = 1][Data] 1 2 [~Data][~DataSet]");
  Data* table = nullptr;
  EXPECT_EQ(UNEXPECTED_CONTENT, LoadDatFile(tools_, path_.c_str(), table));
  std::unique_ptr<Data> owned(table);
  ASSERT_TRUE(owned);
  EXPECT_EQ(1, owned->MbrLngInputs);

  test::WriteFile(path_, "[DataSet][Rows = 1][Inputs = 1][Error = 1][Data] 1 2 x");
  table = nullptr;
  EXPECT_EQ("End Tag expected",
            test::ReaderErrorOf([&] { LoadDatFile(tools_, path_.c_str(), table); }));
  delete table;  // the first table stays with the caller; the second is gone
}

TEST_F(FilerTest, ReadLabelListForms) {
  const struct {
    const char* text;
    const char* labels;
    const char* error;
  } cases[] = {
      {"[]", "", ""},
      {" \n[ ] rest", "", ""},
      {"[a]", "a=1;", ""},
      {"[a=2 b a=0.25]", "a=2.25;b=1;", ""},
      {"/* x */ /*/ [z]", "z=1;", ""},
      {"", "", "Unexpected end of file"},
      {"  ", "", "Unexpected end of file"},
      {"[", "", "Unexpected end of file"},
      {"[a b", "", "Unexpected end of file"},
      {"a]", "", "Expected '['"},
      {"[a=b]", "", "number-expected"},
      {"[=1]", "", "Unexpected special character"},
      {"/* open", "", "Unexpected end of file during comment"},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    TLabelList* list = nullptr;
    EXPECT_EQ(c.error, test::ReaderErrorOf([&] { list = ReadLabelList(tools_, in); })) << c.text;
    EXPECT_EQ(c.labels, Labels(list)) << c.text;
    delete list;
  }
}

// A reader that opened the file itself has closed it by the time its error
// arrives: the error must not point at the destroyed stream.
TEST_F(FilerTest, ErrorsOfReadersGivenAFileNameCarryNoStream) {
  test::WriteFile(path_, "[DataSet][Rows = x]");
  Data* first = nullptr;
  Data* second = nullptr;
  std::int64_t offset = 0;
  const std::function<void()> readers[] = {
      [&] { ReadDatFile(tools_, path_.c_str(), first, second); },
      [&] { ReadDatFileWindow(tools_, path_.c_str(), offset, 1, first, second); },
      [&] { delete ProbeFileHeader(tools_, path_.c_str()); },
  };
  for (const auto& read : readers) {
    EXPECT_EQ("integer-expected", test::ReaderErrorOf(read, nullptr));
  }
  EXPECT_EQ(nullptr, first);
  EXPECT_EQ(nullptr, second);
}

}  // namespace
}  // namespace mbrk
