#include "FileHandler/internal/Strict.h"

#include <cstdlib>
#include <string>

#include "Base/internal/NumberText.h"
#include "FileHandler/internal/ReaderError.h"

namespace mbrk {

namespace {

int StrictIndex() {
  static const int index = std::ios_base::xalloc();
  return index;
}

}  // namespace

// A lenient reading leaves the stream as it is: a stream nobody marked reads
// leniently, and a reading inside a strict one (none is) would not unmark it.
StrictReading::StrictReading(std::istream& in, bool strict)
    : in_(in), marked_(strict), before_(strict ? in.iword(StrictIndex()) : 0) {
  if (marked_) in_.iword(StrictIndex()) = 1;
}

StrictReading::~StrictReading() {
  if (marked_) in_.iword(StrictIndex()) = before_;
}

bool IsStrict(std::istream& in) { return in.iword(StrictIndex()) != 0; }

void CheckNonAscii(std::istream& in) {
  if (IsStrict(in)) Fail(in, kNonAsciiByte);
}

bool WhollyNumber(const char* text, std::size_t length) {
  // The conversion's own rule is the longest leading part strtod reads; the
  // word is wholly a number when that part is all of it. A word holds no
  // white space, which strtod would skip in front.
  const std::string word(text, length);
  char* end = nullptr;
  std::strtod(word.c_str(), &end);
  return length != 0 && end == word.c_str() + length;
}

bool WhollyInteger(const char* text, std::size_t length) {
  std::size_t i = length != 0 && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (i == length) return false;
  for (; i < length; ++i) {
    if (!IsDigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace mbrk
