// The element reader: the element grammar of the bracketed format, read from
// its tokens, and the checks that demand one element or another.
#include "FileHandler/internal/ElementReader.h"

#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Base/internal/Assert.h"
#include "Base/internal/ByteReader.h"
#include "Base/internal/Text.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/ElementTexts.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/Vocabulary.h"

namespace mbrk {

namespace {

using Text = std::unique_ptr<char[]>;

inline bool Equals(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

TElement MakeElement(std::int32_t kind, Text name, Text value, bool open) {
  TElement element;
  element.MbrLngKind = kind;
  element.MbrStrName = name.release();
  element.MbrStrValue = value.release();
  element.MbrBlnOpen = open;
  return element;
}

// Consumes the byte that PeekPastSeparators has just returned.
void Consume(std::istream& in) { ByteReader(in).Skip(); }

// Consumes a "]" that follows after separators; true when there was one.
bool ConsumeClosingBracket(std::istream& in) {
  if (PeekPastSeparators(in) != ']') return false;
  Consume(in);
  return true;
}

// A name or value must be a word: the input may not end before it, and a
// special character cannot stand in its place.
void CheckItem(std::istream& in, const char* item) {
  if (item[0] == '\0') Fail(in, "Unexpected end of file");
  if (IsSpecial(ByteOf(item[0]))) Fail(in, "Unexpected special character");
}

double CheckFormatVersion(std::istream& in, const char* value, bool closed) {
  if (!closed) Fail(in, "Illegal Format of FormatVersion");
  const double version = FileTools::TokenToNumber(in, value);
  if (version > 1.0) Fail(in, "Illegal Format Version");
  return version;
}

// The rest of an element whose "[" has been read (or, with `nameFirst`, an
// item of a label list): a start tag, a field, or a format version element,
// which is checked and reported as ekFormatVersion for the caller to skip; its
// value goes to `version` when that is given and still empty.
TElement ReadBracketed(FileTools& tools, Text name, std::istream& in, bool nameFirst,
                       std::optional<double>* version) {
  CheckItem(in, name.get());
  const int c = PeekPastSeparators(in);
  if (c == ']') {
    Consume(in);
    return MakeElement(ekStart, std::move(name), nullptr, false);
  }
  if (c != '=') return MakeElement(ekStart, std::move(name), nullptr, true);
  Consume(in);

  Text value(tools.GetToken(in));
  CheckItem(in, value.get());
  const bool closed = ConsumeClosingBracket(in);
  if (!nameFirst && strcasecmp(name.get(), vocabulary::kFormatVersionName) == 0) {
    const double number = CheckFormatVersion(in, value.get(), closed);
    if (version != nullptr && !version->has_value()) *version = number;
    return MakeElement(ekFormatVersion, nullptr, nullptr, false);
  }
  return MakeElement(ekField, std::move(name), std::move(value), !closed);
}

// The rest of an end tag after "[~". Releases `blockdef` once the tag is
// complete; on a throw it stays with the caller.
void ReadEndTag(FileTools& tools, char* blockdef, std::istream& in) {
  // Outside any block there is nothing an end tag could close.
  if (blockdef == nullptr) Fail(in, "Unexpected End Tag");
  const Text name(tools.GetToken(in));
  if (strcasecmp(name.get(), blockdef) != 0) Fail(in, "Unexpected End Tag");
  const Text close(tools.GetToken(in));
  if (!Equals(close.get(), "]")) Fail(in, "Expected ']'");
  delete[] blockdef;
}

TElement ReadAnyElement(FileTools& tools, char* blockdef, std::istream& in, bool nameFirst,
                        std::optional<double>* version) {
  // Once more after every format version element, which is consumed here.
  for (;;) {
    Text token(tools.GetToken(in));
    if (token[0] == '\0') {
      if (blockdef == nullptr) return TElement{};
      Fail(in, "Unexpected end of file");
    }
    // No element begins with "]"; reading on would misplace everything after.
    if (Equals(token.get(), "]")) Fail(in, "Unexpected ']'");

    if (nameFirst || Equals(token.get(), "[")) {
      Text name = nameFirst ? std::move(token) : Text(tools.GetToken(in));
      TElement element = ReadBracketed(tools, std::move(name), in, nameFirst, version);
      if (element.MbrLngKind == ekFormatVersion) continue;
      return element;
    }
    if (Equals(token.get(), "[~")) {
      ReadEndTag(tools, blockdef, in);
      return TElement{};
    }
    return MakeElement(ekToken, std::move(token), nullptr, false);
  }
}

}  // namespace

TElement FileTools::ReadElement(char* blockdef, std::istream& in, bool nameFirst) {
  return ReadAnyElement(*this, blockdef, in, nameFirst, nullptr);
}

TElement ReadFirstElement(FileTools& tools, std::istream& in, std::optional<double>& version) {
  return ReadAnyElement(tools, nullptr, in, false, &version);
}

// ---- Checks --------------------------------------------------------------------

char* FileTools::ExpectBlockStart(TElement element, std::istream& in, const char* name) {
  ElementTexts taken(element);
  if (name != nullptr) {
    if (taken.kind == ekStart && taken.name != nullptr && strcasecmp(taken.name.get(), name) == 0) {
      return taken.name.release();
    }
    Fail(in, std::string("[") + name + "] expected");
  }
  if (taken.kind != ekStart) Fail(in, "start of block expected");
  return taken.name.release();
}

void FileTools::ExpectBlockEnd(TElement element, std::istream& in) {
  const ElementTexts taken(element);
  if (taken.kind != ekEnd) Fail(in, "End Tag expected");
}

double FileTools::ExpectNumber(TElement element, std::istream& in) {
  const ElementTexts taken(element);
  if (taken.kind != ekToken || taken.name == nullptr) Fail(in, "Token (number) expected");
  return TokenToNumber(in, taken.name.get());
}

std::int32_t FileTools::ExpectIntegerField(TElement element, std::istream& in, const char* s) {
  MBRK_ASSERT(s != nullptr);
  const ElementTexts taken(element);
  if (!taken.IsFieldNamed(s)) Fail(in, std::string("[") + s + " = <integer>] expected");
  return TokenToInteger(in, taken.ValueText());
}

double FileTools::ExpectNumberField(TElement element, std::istream& in, const char* s) {
  MBRK_ASSERT(s != nullptr);
  const ElementTexts taken(element);
  if (!taken.IsFieldNamed(s)) Fail(in, std::string("[") + s + " = <number>] expected");
  return TokenToNumber(in, taken.ValueText());
}

char* FileTools::ExpectStringField(TElement element, std::istream& in, const char* s,
                                   const char* expected) {
  MBRK_ASSERT(s != nullptr);
  ElementTexts taken(element);
  if (!taken.IsFieldNamed(s)) {
    std::string message = std::string("[") + s + " = <string>] expected";
    if (taken.name != nullptr) message += taken.name.get();
    Fail(in, message);
  }
  if (expected == nullptr) {
    if (taken.value == nullptr) return DuplicateString("");
    return taken.value.release();
  }
  if (strcasecmp(taken.ValueText(), expected) != 0) {
    Fail(in, std::string("[") + s + " = " + expected + "] expected");
  }
  return nullptr;
}

}  // namespace mbrk
