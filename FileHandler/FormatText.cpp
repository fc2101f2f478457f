// The texts of the format that are not written value by value.
#include "FileHandler/internal/FormatText.h"

#include <charconv>
#include <system_error>

#include "Base/internal/Assert.h"
#include "FileHandler/internal/Vocabulary.h"

namespace mbrk {

namespace {

void AppendTag(std::string& text, const char* name) {
  text.push_back('[');
  text += name;
  text += "]\n";
}

void AppendField(std::string& text, const char* name, std::int32_t value, bool labels) {
  text.push_back('[');
  text += name;
  text += " = ";
  if (labels) {
    text += vocabulary::kLabelsValue;
  } else {
    char digits[16];  // "-2147483648" at most
    const std::to_chars_result done = std::to_chars(digits, digits + sizeof digits, value);
    MBRK_ASSERT(done.ec == std::errc());
    text.append(digits, done.ptr);
  }
  text += "]\n";
}

}  // namespace

void AppendValuesText(std::string& text, const double* values, std::size_t count,
                      ValueText format) {
  char digits[kMaxValueText];
  for (std::size_t k = 0; k < count; ++k) {
    text.append(digits, WriteValueText(format, values[k], digits));
    text.push_back(' ');
  }
}

std::string HeaderText(const HeaderFields& fields) {
  namespace v = vocabulary;
  std::string text = v::kFormatVersionElement;
  text += "\n\n";
  AppendTag(text, v::kDataSetTag);
  AppendField(text, v::kRowsField, fields.rows, false);
  AppendField(text, v::kInputsField, fields.inputs, false);
  AppendField(text, v::kExpectedOutputsField, fields.expected, fields.expected == -1);
  AppendField(text, v::kGeneratedOutputsField, fields.generated, fields.generated == -1);
  AppendField(text, v::kErrorField, fields.errors, false);
  text.push_back('\n');
  AppendTag(text, v::kDataTag);
  return text;
}

std::string TailText() {
  std::string text = "[~";
  text += vocabulary::kDataTag;
  text += "]\n\n[~";
  text += vocabulary::kDataSetTag;
  text += "]\n";
  return text;
}

void AppendLabelText(std::string& text, const char* name, std::size_t length, double value,
                     ValueText format) {
  text.append(name, length);
  if (value != 1.0) {
    text.push_back('=');
    if (format == ValueText::kExact) {
      AppendExactLabelValue(text, value);
    } else {
      text += FixedText(value, 9);
    }
  }
  text.push_back(' ');
}

}  // namespace mbrk
