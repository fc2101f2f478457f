// The element writer: elements of the bracketed format as text that reads
// back through the element reader.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>

#include "Base/internal/Assert.h"
#include "Base/internal/NumberText.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/Vocabulary.h"

namespace mbrk {

namespace {

using Text = std::unique_ptr<char[]>;

inline void Put(std::ostream& out, const char* text, std::size_t length) {
  out.write(text, static_cast<std::streamsize>(length));
}

inline void Put(std::ostream& out, const char* text) { Put(out, text, std::strlen(text)); }

// The writing behind WriteElement, on texts the caller keeps. The building
// operations come here directly, so a label list or a header costs no copies
// of the texts it is made of.
void WriteItem(std::ostream& out, std::int32_t kind, const char* name, const char* value,
               bool bracket) {
  switch (kind) {
    case ekFormatVersion:
      MBRK_ASSERT(bracket);
      Put(out, vocabulary::kFormatVersionElement);
      FileTools::WriteEndOfLine(out);
      FileTools::WriteEndOfLine(out);
      return;
    case ekEnd:
      if (name == nullptr) return;
      MBRK_ASSERT(bracket);
      Put(out, "[~", 2);
      Put(out, name);
      FileTools::WriteCloseBracket(out, bracket, true);
      return;
    case ekStart:
    case ekField:
      MBRK_ASSERT(name != nullptr);
      FileTools::WriteOpenBracket(out, bracket);
      Put(out, name);
      if (kind == ekField) {
        MBRK_ASSERT(value != nullptr);
        // [Rows = 12] in brackets, Scale=2 as an item.
        if (bracket) {
          Put(out, " = ", 3);
        } else {
          out.put('=');
        }
        Put(out, value);
      }
      FileTools::WriteCloseBracket(out, bracket, true);
      // The blank of the bare form stands where the "]" would be.
      if (!bracket) out.put(' ');
      return;
    case ekToken:
      MBRK_ASSERT(name != nullptr);
      Put(out, name);
      out.put(' ');
      return;
    default: MBRK_ASSERT(false);
  }
}

}  // namespace

void FileTools::WriteElement(TElement element, std::ostream& out, bool bracket) {
  // Taken over before anything is written, so that a stream that throws
  // leaks nothing.
  Text name;
  Text value;
  const bool owned =
      element.MbrLngKind == ekStart || element.MbrLngKind == ekField || element.MbrLngKind == ekEnd;
  if (owned) {
    name.reset(element.MbrStrName);
    value.reset(element.MbrStrValue);
  }
  WriteItem(out, element.MbrLngKind, element.MbrStrName, element.MbrStrValue, bracket);
}

void FileTools::WriteOpenBracket(std::ostream& out, bool bracket) {
  if (bracket) out.put('[');
}

void FileTools::WriteCloseBracket(std::ostream& out, bool bracket, bool endOfLine) {
  if (!bracket) return;
  out.put(']');
  if (endOfLine) WriteEndOfLine(out);
}

void FileTools::WriteFormatVersion(std::ostream& out) {
  WriteItem(out, ekFormatVersion, nullptr, nullptr, true);
}

void FileTools::WriteEndOfLine(std::ostream& out) {
  out.put('\n');
  out.flush();
}

void FileTools::WriteStartTag(std::ostream& out, const char* name, bool bracket) {
  WriteItem(out, ekStart, name, nullptr, bracket);
}

void FileTools::WriteEndTag(std::ostream& out, const char* name) {
  WriteItem(out, ekEnd, name, nullptr, true);
}

void FileTools::WriteStringField(std::ostream& out, const char* name, const char* value,
                                 bool bracket) {
  WriteItem(out, ekField, name, value, bracket);
}

void FileTools::WriteIntegerField(std::ostream& out, const char* name, std::int32_t value,
                                  bool bracket) {
  char text[16];  // "-2147483648" at most
  const std::to_chars_result done = std::to_chars(text, text + sizeof text - 1, value);
  MBRK_ASSERT(done.ec == std::errc());
  *done.ptr = '\0';
  WriteItem(out, ekField, name, text, bracket);
}

void FileTools::WriteNumberField(std::ostream& out, const char* name, double value, int precision,
                                 bool bracket) {
  const std::string text = FixedText(value, precision);
  WriteItem(out, ekField, name, text.c_str(), bracket);
}

}  // namespace mbrk
