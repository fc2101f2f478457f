// The scans between tokens that the dataset readers make, and the byte
// reader beneath every scanner: a byte 0xFF is a byte (a separator), never
// the end of the input.
#include "FileHandler/internal/Lexer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "TestSupport.h"

namespace mbrk {
namespace {

// What a scan left: the byte it returned ("end" for the end of the input)
// and the rest of the stream.
std::string Scan(int (*scan)(std::istream&), const std::string& text) {
  std::istringstream in(text);
  const int c = scan(in);
  std::string rest;
  std::getline(in, rest, '\0');
  return (c == kEndOfInput ? std::string("end") : std::string(1, static_cast<char>(c))) + "|" +
         rest;
}

TEST(Lexer, ByteClasses) {
  EXPECT_EQ(ByteClass::kEnd, ClassOf(kEndOfInput));
  EXPECT_EQ(ByteClass::kSeparator, ClassOf(ByteOf('\xFF')));
  EXPECT_EQ(ByteClass::kSeparator, ClassOf(ByteOf('\x80')));
  EXPECT_EQ(ByteClass::kSeparator, ClassOf(ByteOf(',')));
  EXPECT_EQ(ByteClass::kSpecial, ClassOf(ByteOf('>')));
  EXPECT_EQ(ByteClass::kWord, ClassOf(ByteOf('~')));
}

TEST(Lexer, PeekPastSeparatorsAndComments) {
  const struct {
    const char* text;
    const char* separators;  // what PeekPastSeparators leaves
    const char* comments;    // what PeekPastComments leaves
  } cases[] = {
      {" \xFF,\t[a]", "[|[a]", "[|[a]"},
      {"\xFF\xFF", "end|", "end|"},
      {"/* c */ [a]", "/|/* c */ [a]", "[|[a]"},
      {"/*/ x", "/|/*/ x", "x|x"},  // "/*/" is a whole comment here
      {"/ x", "/|/ x", "/|/ x"},
      {"\xFF/**/\xFF ]", "/|/**/\xFF ]", "]|]"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.separators, Scan(PeekPastSeparators, c.text)) << c.text;
    EXPECT_EQ(c.comments, Scan(PeekPastComments, c.text)) << c.text;
  }
  std::istringstream open("/* never closed");
  EXPECT_EQ("Unexpected end of file during comment",
            test::ReaderErrorOf([&] { PeekPastComments(open); }, &open));
}

TEST(Lexer, EndTagAheadLooksWithoutReading) {
  const struct {
    const char* text;
    bool end;
    const char* rest;  // where the next token begins
  } cases[] = {
      {" \xFF /* c */ [~data ] x", true, "[~data ] x"},
      {"[~Data x]", false, "[~Data x]"},
      {"[~Other]", false, "[~Other]"},
      {"[~x b=2]", false, "[~x b=2]"},
      {"[a]", false, "[a]"},
      {"\xFF", false, ""},
      // Format version elements stand aside; a list that only looks like one
      // is a list.
      {"[FormatVersion = 1.0] /* c */ [formatversion=0.5][~Data]", true,
       "[FormatVersion = 1.0] /* c */ [formatversion=0.5][~Data]"},
      {"[FormatVersion = 1.0] [a]", false, "[FormatVersion = 1.0] [a]"},
      {"[FormatVersion 1.0] [~Data]", false, "[FormatVersion 1.0] [~Data]"},
      {"[FormatVersionX = 1.0] [~Data]", false, "[FormatVersionX = 1.0] [~Data]"},
  };
  FileTools tools;
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    EXPECT_EQ(c.end, EndTagAhead(tools, in, "Data")) << c.text;
    std::string rest;
    std::getline(in, rest, '\0');
    EXPECT_EQ(c.rest, rest) << c.text;
  }
}

}  // namespace
}  // namespace mbrk
