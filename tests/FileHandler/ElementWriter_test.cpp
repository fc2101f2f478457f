// The writing side of the bracketed format: exact bytes of every element in
// both forms, ownership of the texts, and numbers of any magnitude.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FileHandler/ParseTools.h"

namespace mbrk {
namespace {

template <typename Write>
std::string Written(Write write) {
  std::ostringstream out;
  write(out);
  return out.str();
}

std::string Printf(double value, int precision) {
  const int length = std::snprintf(nullptr, 0, "%.*f", precision, value);
  std::vector<char> text(static_cast<std::size_t>(length) + 1);
  std::snprintf(text.data(), text.size(), "%.*f", precision, value);
  return text.data();
}

TEST(ElementWriter, EveryBuildingOperationInBothForms) {
  using F = FileTools;
  const struct {
    std::string got;
    const char* want;
  } cases[] = {
      {Written([](std::ostream& o) { F::WriteStartTag(o, "DataSet", true); }), "[DataSet]\n"},
      {Written([](std::ostream& o) { F::WriteStartTag(o, "DataSet", false); }), "DataSet "},
      {Written([](std::ostream& o) { F::WriteIntegerField(o, "Rows", 12, true); }),
       "[Rows = 12]\n"},
      {Written([](std::ostream& o) { F::WriteIntegerField(o, "n", INT32_MIN, false); }),
       "n=-2147483648 "},
      {Written([](std::ostream& o) { F::WriteStringField(o, "ExpectedOutputs", "Labels", true); }),
       "[ExpectedOutputs = Labels]\n"},
      {Written([](std::ostream& o) { F::WriteNumberField(o, "Scale", 2.0, 9, false); }),
       "Scale=2.000000000 "},
      {Written([](std::ostream& o) { F::WriteNumberField(o, "x", -0.25, 9, true); }),
       "[x = -0.250000000]\n"},
      {Written([](std::ostream& o) { F::WriteNumberField(o, "x", 1.5, -1, false); }),
       "x=1.500000 "},
      {Written([](std::ostream& o) { F::WriteEndTag(o, nullptr); }), ""},
      {Written([](std::ostream& o) { F::WriteEndTag(o, "DataSet"); }), "[~DataSet]\n"},
      {Written([](std::ostream& o) { F::WriteFormatVersion(o); }), "[FormatVersion = 1.0]\n\n"},
      {Written([](std::ostream& o) {
         F::WriteOpenBracket(o, true);
         F::WriteOpenBracket(o, false);
         F::WriteCloseBracket(o, false, true);
         F::WriteCloseBracket(o, true, false);
         F::WriteCloseBracket(o, true, true);
         F::WriteEndOfLine(o);
       }),
       "[]]\n\n"},
      // Width and fill set on the stream do not pad anything.
      {Written([](std::ostream& o) {
         o.width(12);
         o.fill('*');
         F::WriteStartTag(o, "a", false);
       }),
       "a "},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, c.got);
}

TEST(ElementWriter, WriteElementReleasesTheTextsItTakesOver) {
  // The sanitizers report any text released twice or not at all.
  const auto element = [](std::int32_t kind, const char* name, const char* value) {
    TElement e;
    e.MbrLngKind = kind;
    e.MbrStrName = name != nullptr ? FileTools::DuplicateString(name) : nullptr;
    e.MbrStrValue = value != nullptr ? FileTools::DuplicateString(value) : nullptr;
    return e;
  };
  std::ostringstream out;
  FileTools::WriteElement(element(ekStart, "Data", nullptr), out, true);
  FileTools::WriteElement(element(ekField, "b", "0.5"), out, false);
  FileTools::WriteElement(element(ekField, "Rows", "3"), out, true);
  FileTools::WriteElement(element(ekEnd, "Data", nullptr), out, true);
  FileTools::WriteElement(element(ekEnd, nullptr, nullptr), out, false);
  FileTools::WriteElement(element(ekFormatVersion, nullptr, nullptr), out, true);
  const TElement token = element(ekToken, "1.5", nullptr);
  FileTools::WriteElement(token, out, false);
  EXPECT_STREQ("1.5", token.MbrStrName);  // still the caller's
  delete[] token.MbrStrName;
  EXPECT_EQ("[Data]\nb=0.5 [Rows = 3]\n[~Data]\n[FormatVersion = 1.0]\n\n1.5 ", out.str());
}

TEST(ElementWriter, FormsThatCannotBeWrittenFailAnAssertion) {
  std::ostringstream out;
  EXPECT_DEATH(
      FileTools::WriteElement(TElement{ekFormatVersion, nullptr, nullptr, false}, out, false),
      "Assertion failed: bracket, file");
  EXPECT_DEATH(FileTools::WriteElement(TElement{4, nullptr, nullptr, false}, out, true),
               "Assertion failed: false, file");
}

// "%.*f" in full for every magnitude and precision, and the bare field reads
// back through the element reader as the value of its text.
TEST(ElementWriter, NumberFieldsOfAnyMagnitudeAreWrittenWholeAndReadBack) {
  std::vector<double> values = {1e12, -1e300, DBL_MAX, -DBL_MAX, DBL_TRUE_MIN, -0.0,
                                1e9,  -1e8,   0.5,     HUGE_VAL, -HUGE_VAL,    NAN};
  std::mt19937_64 random(7);
  for (int i = 0; i < 200; ++i) {
    values.push_back(std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random),
                                std::uniform_int_distribution<int>(-1074, 1023)(random)));
  }
  FileTools tools;
  for (const int precision : {0, 9, 17, 1100}) {
    for (const double value : values) {
      const std::string text = Printf(value, precision);
      const std::string got = Written(
          [&](std::ostream& o) { FileTools::WriteNumberField(o, "v", value, precision, false); });
      ASSERT_EQ("v=" + text + " ", got) << value;
      if (precision != 9) continue;
      std::istringstream in(got + "]");
      const TElement item = tools.ReadElement(nullptr, in, true);
      const std::unique_ptr<char[]> name(item.MbrStrName), read(item.MbrStrValue);
      ASSERT_EQ(ekField, item.MbrLngKind);
      const double expected = std::strtod(text.c_str(), nullptr);
      const double back = FileTools::TokenToNumber(in, read.get());
      EXPECT_TRUE(back == expected || (std::isnan(back) && std::isnan(expected))) << text;
    }
  }
}

}  // namespace
}  // namespace mbrk
