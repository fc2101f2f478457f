// The token and element reader over arbitrary bytes.
//
// Three passes over the same input, each on its own stream:
//  1. tokens: every token is the empty text (only at the end), one special
//     character, "[~", or a word of word characters; together they never
//     hold more bytes than the input;
//  2. elements: read the way a dataset reader reads them, with a stack of
//     open blocks (each start tag opens one, each end tag must close the
//     innermost), bare tokens handed to ExpectNumber and fields to the field
//     checks;
//  3. a dataset header followed by label lists.
// Every failure must be a FileTools::Error with one of the documented
// messages; nothing may leak, whichever way a pass ends.
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/Lexer.h"
#include "fuzz/FuzzSupport.h"

namespace {

using mbrk::FileTools;
using mbrk::TElement;
using Text = std::unique_ptr<char[]>;

void CheckError(FileTools::Error& error, std::istream& in) {
  const Text message(error.MbrStrMessage);
  MBRK_FUZZ_CHECK(mbrk::fuzz::IsReaderMessage(message.get()));
  MBRK_FUZZ_CHECK(error.MbrPtrStream == &in);
  MBRK_FUZZ_CHECK(error.MbrLngSpare == 0);
}

bool IsWordText(const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (!mbrk::IsWordByte(mbrk::ByteOf(*p))) return false;
  }
  return true;
}

void Tokens(FileTools& tools, const std::string& input) {
  std::istringstream in(input);
  std::size_t bytes = 0;
  try {
    for (;;) {
      const Text token(tools.GetToken(in));
      const std::size_t length = std::strlen(token.get());
      if (length == 0) break;
      bytes += length;
      MBRK_FUZZ_CHECK(bytes <= input.size());
      if (mbrk::IsSpecial(mbrk::ByteOf(token[0]))) {
        MBRK_FUZZ_CHECK(length == 1 || std::strcmp(token.get(), "[~") == 0);
      } else {
        MBRK_FUZZ_CHECK(IsWordText(token.get()));
      }
    }
    // Once ended, the input stays ended.
    const Text again(tools.GetToken(in));
    MBRK_FUZZ_CHECK(again[0] == '\0');
  } catch (FileTools::Error& error) {
    CheckError(error, in);
  }
}

// Hands an element to one of the checks, chosen by `turn`; each takes the
// element's texts over.
void CheckElement(const TElement& element, std::istream& in, unsigned turn) {
  if (element.MbrLngKind == mbrk::ekToken) {
    static_cast<void>(FileTools::ExpectNumber(element, in));
    return;
  }
  if (element.MbrLngKind != mbrk::ekField) {
    delete[] element.MbrStrName;
    delete[] element.MbrStrValue;
    return;
  }
  // The field's own name and value, so the checks get as far as converting.
  const std::string name = element.MbrStrName;
  const std::string value = element.MbrStrValue;
  switch (turn % 3) {
    case 0: static_cast<void>(FileTools::ExpectIntegerField(element, in, name.c_str())); break;
    case 1: static_cast<void>(FileTools::ExpectNumberField(element, in, name.c_str())); break;
    default: {
      const Text none(FileTools::ExpectStringField(element, in, name.c_str(), value.c_str()));
      MBRK_FUZZ_CHECK(none == nullptr);
    }
  }
}

void Elements(FileTools& tools, const std::string& input) {
  std::istringstream in(input);
  std::vector<Text> blocks;  // names of the open blocks, innermost last
  unsigned turn = 0;
  try {
    for (;;) {
      char* const blockdef = blocks.empty() ? nullptr : blocks.back().get();
      const TElement element = tools.ReadElement(blockdef, in, false);
      MBRK_FUZZ_CHECK(element.MbrLngKind == mbrk::ekEnd || element.MbrLngKind == mbrk::ekToken ||
                      element.MbrLngKind == mbrk::ekStart || element.MbrLngKind == mbrk::ekField);
      if (element.MbrLngKind == mbrk::ekEnd) {
        MBRK_FUZZ_CHECK(element.MbrStrName == nullptr && element.MbrStrValue == nullptr);
        if (blockdef == nullptr) break;  // the end of the input
        // The reader released the block's name with the end tag.
        static_cast<void>(blocks.back().release());
        blocks.pop_back();
        continue;
      }
      MBRK_FUZZ_CHECK(element.MbrStrName != nullptr && element.MbrStrName[0] != '\0');
      MBRK_FUZZ_CHECK((element.MbrStrValue != nullptr) == (element.MbrLngKind == mbrk::ekField));
      if (element.MbrLngKind == mbrk::ekStart) {
        blocks.emplace_back(FileTools::ExpectBlockStart(element, in, nullptr));
        continue;
      }
      CheckElement(element, in, turn++);
    }
  } catch (FileTools::Error& error) {
    CheckError(error, in);
  }
}

void HeaderAndLabels(FileTools& tools, const std::string& input) {
  std::istringstream in(input);
  try {
    std::int32_t inputs, expected, generated, errors, rows;
    TElement after{};
    const std::int32_t result =
        mbrk::ReadDatFileHeader(tools, in, inputs, expected, generated, errors, rows, after);
    const Text name(after.MbrStrName);
    const Text value(after.MbrStrValue);
    MBRK_FUZZ_CHECK(result == mbrk::SUCCESS || result == mbrk::UNEXPECTED_CONTENT);
    MBRK_FUZZ_CHECK(inputs >= 0 && errors >= 0 && rows >= -1);
    for (int lists = 0; lists < 64; ++lists) {
      const std::unique_ptr<mbrk::TLabelList> list(mbrk::ReadLabelList(tools, in));
      MBRK_FUZZ_CHECK(list->MbrLngCount >= 0);
      MBRK_FUZZ_CHECK(list->MbrLngCount == 0 || list->MbrDyaItems != nullptr);
    }
  } catch (FileTools::Error& error) {
    CheckError(error, in);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  FileTools tools;
  Tokens(tools, input);
  Elements(tools, input);
  HeaderAndLabels(tools, input);
  return 0;
}
