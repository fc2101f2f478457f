#include "FileHandler/ParseTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "TestSupport.h"

namespace mbrk {
namespace {

using Text = std::unique_ptr<char[]>;

// The text of a returned array, released.
std::string Take(char* text) { return Text(text).get(); }

// One line per element, releasing its texts: "start Data", "field Rows=12 open", "token 0.25",
// "end".
std::string Describe(const TElement& e) {
  const Text name(e.MbrStrName);
  const Text value(e.MbrStrValue);
  std::string out;
  switch (e.MbrLngKind) {
    case ekEnd: out = "end"; break;
    case ekToken: out = "token "; break;
    case ekStart: out = "start "; break;
    case ekField: out = "field "; break;
    default: out = "kind " + std::to_string(e.MbrLngKind) + " "; break;
  }
  if (name) out += name.get();
  if (value) out += std::string("=") + value.get();
  if (e.MbrBlnOpen) out += " open";
  return out;
}

class ParseTools : public ::testing::Test {
 protected:
  void Feed(const std::string& text) {
    in_.str(text);
    in_.clear();
  }
  std::string Token() { return Take(tools_.GetToken(in_)); }
  // Every token up to the end of the input, blank-separated.
  std::string Tokens() {
    std::string all;
    for (std::string t = Token(); !t.empty(); t = Token()) all += (all.empty() ? "" : " ") + t;
    return all;
  }
  TElement Read(bool name_first = false) { return tools_.ReadElement(nullptr, in_, name_first); }
  // Reads one element inside the block `blockdef`, handing the reader its own copy of the name.
  std::string Element(const char* blockdef = nullptr, bool name_first = false) {
    Text block(blockdef ? FileTools::DuplicateString(blockdef) : nullptr);
    const TElement e = tools_.ReadElement(block.get(), in_, name_first);
    if (block && e.MbrLngKind == ekEnd) block.release();  // the end tag released it
    return Describe(e);
  }
  // The message of the FileTools::Error about in_ that `action` throws.
  template <typename Action>
  std::string Error(Action action) {
    return test::ReaderErrorOf(action, &in_);
  }
  std::string ElementError(const char* blockdef = nullptr, bool name_first = false) {
    return Error([&] { Element(blockdef, name_first); });
  }

  FileTools tools_;
  std::istringstream in_;
};

// ---- Tokens ----------------------------------------------------------------------------

TEST_F(ParseTools, TokenClasses) {
  const struct {
    std::string input, tokens;
  } cases[] = {
      {std::string(" \t,\r\n\x01\0[", 8), "["},
      {"[~Data]", "[~ Data ]"},
      {"[ ~Data]", "[ ~Data ]"},  // the tilde then begins a word
      {"a,b", "a b"},
      {"[Rows=12]", "[ Rows = 12 ]"},
      {"a<b>c", "a < b > c"},
      {"[]=<>*/", "[ ] = < > * /"},  // "*/" outside a comment is two tokens
      {"a/b", "a / b"},
      {"a\351b\177c\377", "a b c"},  // bytes above 126 separate
      {"~\"'():-+._!#", "~\"'():-+._!#"},
      {"abc/*x*/def", "abc def"},
      {"", ""},
  };
  for (const auto& c : cases) {
    Feed(c.input);
    EXPECT_EQ(c.tokens, Tokens()) << c.input;
  }
}

TEST_F(ParseTools, WordEndsBeforeSpecialButConsumesSeparator) {
  Feed("name=1 next");
  EXPECT_EQ("name", Token());
  EXPECT_EQ('=', in_.peek());
  EXPECT_EQ("=", Token());
  EXPECT_EQ("1", Token());
  EXPECT_EQ('n', in_.peek());
}

TEST_F(ParseTools, EndOfInputSetsEofAndFailedStreamReadsAsEnd) {
  Feed("abc");
  EXPECT_EQ("abc", Token());
  EXPECT_TRUE(in_.eof());
  EXPECT_EQ("", Token());

  Feed("abc");
  in_.setstate(std::ios_base::failbit);
  EXPECT_EQ("", Token());
  EXPECT_EQ("end", Element());
  in_.clear();
  EXPECT_EQ("abc", Token());  // nothing was consumed
}

// The work buffer holds 1,028 characters; longer words grow past it, whole.
TEST_F(ParseTools, WordsLongerThanWorkBufferComeBackWhole) {
  for (std::size_t n : {1027u, 1028u, 1029u, 2057u, 2058u, 100000u}) {
    const std::string word(n - 1, 'x');
    Feed(word + "y next" + word + "]");
    EXPECT_EQ(word + "y", Token()) << n;
    EXPECT_EQ("next" + word, Token()) << n;
    EXPECT_EQ("]", Token()) << n;
  }
}

// ---- Comments --------------------------------------------------------------------------

TEST_F(ParseTools, CommentsNestAndFollowEachOther) {
  const struct {
    std::string input, tokens;
  } cases[] = {
      {"/* a /* b */ c */x", "x"},
      {"/*a*//*b*/ x", "x"},
      {"/* /* x *// y", "y"},  // the "/" after the inner "*/" closes the outer comment too
      {"/* /**/ */ z", "z"},
      {"/*/ still */ w", "w"},  // the "/" of "/*/" opens nothing
      {"/**/x", "x"},
  };
  for (const auto& c : cases) {
    Feed(c.input + " /* a */");
    EXPECT_EQ(c.tokens, Tokens()) << c.input;
  }
}

TEST_F(ParseTools, UnclosedCommentThrows) {
  for (const char* input : {"/* abc", "/* /* */", "x /* /* *", "/*"}) {
    Feed(input);
    EXPECT_EQ("Unexpected end of file during comment", Error([&] { Tokens(); })) << input;
    EXPECT_TRUE(in_.eof());
  }
}

// Depth is counted, not recursed: a million levels must not exhaust the stack.
TEST_F(ParseTools, MillionDeepCommentsNeedNoStack) {
  std::string open;
  for (int i = 0; i < 1000000; ++i) open += "/*";
  Feed(open);
  EXPECT_EQ("Unexpected end of file during comment", Error([&] { Tokens(); }));

  std::string closed = open;
  for (int i = 0; i < 1000000; ++i) closed += "*/";
  Feed(closed + " z");
  EXPECT_EQ("z", Tokens());

  std::string row;
  for (int i = 0; i < 1000000; ++i) row += "/**/";
  Feed(row + "z");
  EXPECT_EQ("z", Tokens());
}

// SkipComment starts with a blank as the previous character, so after "/" it
// closes on "*/" even when that "*" directly follows the opening.
TEST_F(ParseTools, SkipCommentStartsAfterTheOpening) {
  Feed("*/after");
  FileTools::SkipComment(in_);
  EXPECT_EQ("after", Token());
  Feed(" a */ b");
  FileTools::SkipComment(in_);
  EXPECT_EQ("b", Token());
}

// ---- Numbers ---------------------------------------------------------------------------

TEST_F(ParseTools, TokenToIntegerReadsLikeLongScanWithin32Bits) {
  // clang-format off
  const struct { const char* text; std::int32_t value; } good[] = {
      {"12", 12}, {"-7", -7}, {"+5", 5}, {" \t42", 42}, {"12xyz", 12}, {"3.7", 3},
      {"2147483647", 2147483647}, {"-2147483648", INT32_MIN}, {"0000000000000000000012", 12},
      {"-0", 0}, {"0x1A", 0},
  };
  // clang-format on
  for (const auto& c : good) EXPECT_EQ(c.value, FileTools::TokenToInteger(in_, c.text)) << c.text;
  for (const char* bad : {"abc", "", "-", "+", "- 5", "x12", "2147483648", "-2147483649",
                          "99999999999999999999", "4294967296"}) {
    EXPECT_EQ("integer-expected", Error([&] { FileTools::TokenToInteger(in_, bad); })) << bad;
  }
}

TEST_F(ParseTools, TokenToNumberAcceptsWhatFloatScanAccepts) {
  // clang-format off
  const struct { const char* text; double value; } good[] = {
      {"1.5abc", 1.5}, {".5", 0.5}, {"1e5", 100000.0}, {"-2.25", -2.25}, {"+3", 3.0},
      {"1.2345678901234567e-300", std::strtod("1.2345678901234567e-300", nullptr)},
      {"0.1", 0.1}, {"1e", 1.0}, {"100ergs", 100.0}, {"0x1p3", 8.0}, {"1.", 1.0},
      {"1e400", HUGE_VAL}, {"-inf", -HUGE_VAL}, {"1e-400", 0.0},
  };
  // clang-format on
  for (const auto& c : good) EXPECT_EQ(c.value, FileTools::TokenToNumber(in_, c.text)) << c.text;
  EXPECT_TRUE(std::signbit(FileTools::TokenToNumber(in_, "-0")));
  EXPECT_TRUE(std::isnan(FileTools::TokenToNumber(in_, "nan")));
  for (const char* bad : {"", "-", "+", "abc", "0x", ".e1", "e5", "."}) {
    EXPECT_EQ("number-expected", Error([&] { FileTools::TokenToNumber(in_, bad); })) << bad;
  }
}

TEST(StrCaseCmp, FoldsLettersAndReturnsOnlyMinusOneZeroOne) {
  // clang-format off
  const struct { const char* a; const char* b; int result; } cases[] = {
      {"FormatVersion", "FORMATVERSION", 0}, {"", "", 0}, {"abc", "ABD", -1}, {"ABD", "abc", 1},
      {"a", "_", -1}, {"A", "_", -1}, {"_", "a", 1}, {"", "a", -1}, {"a", "", 1},
      {"zzz", "A", 1}, {"A", "zzz", -1}, {"\xE9", "z", 1},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(c.result, strcasecmp(c.a, c.b)) << c.a << " vs " << c.b;
}

// ---- Elements --------------------------------------------------------------------------

TEST_F(ParseTools, ElementsOfTheGrammar) {
  const struct {
    const char* input;
    const char* element;
  } cases[] = {
      {"[Rows = 12]", "field Rows=12"},
      {" , [ Rows , = , 12 , ] ", "field Rows=12"},
      {"[Rows=12]", "field Rows=12"},
      {"[Inputs]", "start Inputs"},
      {"[Data x", "start Data open"},
      {"[Data", "start Data open"},
      {"[Rows = 5", "field Rows=5 open"},
      {"0.25", "token 0.25"},
      {"<", "token <"},
      {"=", "token ="},
      {"", "end"},
      {"[FormatVersion = 1.0] [Data]", "start Data"},
      {"[formatversion=0.5][Data]", "start Data"},
      {"[FORMATVERSION = 1] [FormatVersion=-2] [fOrMaTvErSiOn = 1.0] 7", "token 7"},
      {"[FormatVersion = 1]", "end"},
  };
  for (const auto& c : cases) {
    Feed(c.input);
    EXPECT_EQ(c.element, Element()) << c.input;
  }
}

TEST_F(ParseTools, OpenFieldLeavesTheRestForTheNextElement) {
  Feed("[Title = two words]");
  EXPECT_EQ("field Title=two open", Element());
  EXPECT_EQ("token words", Element());
}

TEST_F(ParseTools, LabelItemsAreReadNameFirst) {
  Feed("Flag Scale=2] FormatVersion = 5]");
  EXPECT_EQ("start Flag open", Element(nullptr, true));
  EXPECT_EQ("field Scale=2", Element(nullptr, true));
  EXPECT_EQ("field FormatVersion=5", Element(nullptr, true));  // no version check here
}

TEST_F(ParseTools, FormatVersionInsideBlockIsSkipped) {
  Feed("[FormatVersion = 1.0] 3 [~Data]");
  EXPECT_EQ("token 3", Element("Data"));
  EXPECT_EQ("end", Element("DATA"));
}

TEST_F(ParseTools, EndTagReleasesMatchingBlockName) {
  Feed("[~Inputs]");
  EXPECT_EQ("end", Element("INPUTS"));
  Feed(" [ ~Inputs ] ");  // "[" then the word "~Inputs": a start tag
  EXPECT_EQ("start ~Inputs", Element("Inputs"));
}

TEST_F(ParseTools, ElementFailures) {
  const struct {
    const char* input;
    const char* blockdef;
    bool name_first;
    const char* message;
  } cases[] = {
      {"", "Data", false, "Unexpected end of file"},
      {"[", nullptr, false, "Unexpected end of file"},
      {"[Rows =", nullptr, false, "Unexpected end of file"},
      {"[=3]", nullptr, false, "Unexpected special character"},
      {"[Rows = ]", nullptr, false, "Unexpected special character"},
      {"[Rows = [", nullptr, false, "Unexpected special character"},
      {"=3]", nullptr, true, "Unexpected special character"},
      {"[FormatVersion = 1.1]", nullptr, false, "Illegal Format Version"},
      {"[FormatVersion = one]", nullptr, false, "number-expected"},
      {"[FormatVersion = 1.0 [Data]", nullptr, false, "Illegal Format of FormatVersion"},
      {"[FormatVersion = 1.0", nullptr, false, "Illegal Format of FormatVersion"},
      {"[~Inputs]", "DATA", false, "Unexpected End Tag"},
      {"[~", "DATA", false, "Unexpected End Tag"},
      {"[~Data x", "Data", false, "Expected ']'"},
      {"[~Data", "Data", false, "Expected ']'"},
      {"[~Data]", nullptr, false, "Unexpected End Tag"},  // no block is open
      {"]", nullptr, false, "Unexpected ']'"},
      {"] x", "Data", true, "Unexpected ']'"},
  };
  for (const auto& c : cases) {
    Feed(c.input);
    EXPECT_EQ(c.message, ElementError(c.blockdef, c.name_first)) << c.input;
  }
  Feed("[Data] /* open");
  Element();
  EXPECT_EQ("Unexpected end of file during comment", ElementError("Data"));
}

// Neither "]" nor an end tag outside a block reads on past itself.
TEST_F(ParseTools, RejectedElementsStopWhereTheyAre) {
  Feed("] next");
  ElementError();
  EXPECT_EQ("next", Token());
  Feed("[~Data] next");
  ElementError();
  EXPECT_EQ("Data", Token());
}

// ---- Checks ----------------------------------------------------------------------------

TEST_F(ParseTools, ExpectBlockStartAndEnd) {
  Feed("[DataSet] [Data] [Model x 5 [~Model]");
  EXPECT_EQ("DataSet", Take(FileTools::ExpectBlockStart(Read(), in_, "DATASET")));
  EXPECT_EQ("[DATASET] expected",
            Error([&] { FileTools::ExpectBlockStart(Read(), in_, "DATASET"); }));
  EXPECT_EQ("Model", Take(FileTools::ExpectBlockStart(Read(), in_, nullptr)));
  EXPECT_EQ("start of block expected",
            Error([&] { FileTools::ExpectBlockStart(Read(), in_, nullptr); }));
  EXPECT_EQ("End Tag expected", Error([&] { FileTools::ExpectBlockEnd(Read(), in_); }));
  Text block(FileTools::DuplicateString("model"));
  FileTools::ExpectBlockEnd(tools_.ReadElement(block.release(), in_, false), in_);
  FileTools::ExpectBlockEnd(Read(), in_);
}

TEST_F(ParseTools, ExpectNumber) {
  Feed("0.25 [Data] abc");
  EXPECT_EQ(0.25, FileTools::ExpectNumber(Read(), in_));
  EXPECT_EQ("Token (number) expected", Error([&] { FileTools::ExpectNumber(Read(), in_); }));
  EXPECT_EQ("number-expected", Error([&] { FileTools::ExpectNumber(Read(), in_); }));
}

TEST_F(ParseTools, ExpectFields) {
  Feed(
      "[rows = 12] [Rows = x] [Cols = 1] 7 "
      "[Scale = 2.5] [Scale = y] [Rows = 1] "
      "[Mode = FAST] [Mode = slow] [mode = slow] [Speed = 1]");
  EXPECT_EQ(12, FileTools::ExpectIntegerField(Read(), in_, "Rows"));
  EXPECT_EQ("integer-expected", Error([&] { FileTools::ExpectIntegerField(Read(), in_, "Rows"); }));
  EXPECT_EQ("[Rows = <integer>] expected",
            Error([&] { FileTools::ExpectIntegerField(Read(), in_, "Rows"); }));
  EXPECT_EQ("[Rows = <integer>] expected",
            Error([&] { FileTools::ExpectIntegerField(Read(), in_, "Rows"); }));

  EXPECT_EQ(2.5, FileTools::ExpectNumberField(Read(), in_, "SCALE"));
  EXPECT_EQ("number-expected", Error([&] { FileTools::ExpectNumberField(Read(), in_, "Scale"); }));
  EXPECT_EQ("[Scale = <number>] expected",
            Error([&] { FileTools::ExpectNumberField(Read(), in_, "Scale"); }));

  EXPECT_EQ(nullptr, FileTools::ExpectStringField(Read(), in_, "Mode", "fast"));
  EXPECT_EQ("[Mode = fast] expected",
            Error([&] { FileTools::ExpectStringField(Read(), in_, "Mode", "fast"); }));
  EXPECT_EQ("slow", Take(FileTools::ExpectStringField(Read(), in_, "Mode", nullptr)));
  EXPECT_EQ("[Mode = <string>] expectedSpeed",
            Error([&] { FileTools::ExpectStringField(Read(), in_, "Mode", nullptr); }));
  // An end element has no name to add.
  EXPECT_EQ("[Mode = <string>] expected",
            Error([&] { FileTools::ExpectStringField(TElement{}, in_, "Mode", nullptr); }));
}

// Composed messages are sized to fit: long names are never cut or overrun.
TEST_F(ParseTools, LongNamesAppearWholeInMessages) {
  const std::string name(5000, 'N');
  const std::string wanted(3000, 'W');
  Feed("[" + name + "]");
  EXPECT_EQ("[" + wanted + "] expected",
            Error([&] { FileTools::ExpectBlockStart(Read(), in_, wanted.c_str()); }));
  Feed("[" + name + " = v]");
  EXPECT_EQ("[Mode = <string>] expected" + name,
            Error([&] { FileTools::ExpectStringField(Read(), in_, "Mode", nullptr); }));
}

}  // namespace
}  // namespace mbrk
