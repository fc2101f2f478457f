// How the readers of the bracketed format report a malformed input.
#include "FileHandler/internal/ReaderError.h"

namespace mbrk {

void Fail(std::istream& in, const char* message) {
  throw FileTools::Error{FileTools::DuplicateString(message), &in, 0};
}

void Fail(std::istream& in, const std::string& message) { Fail(in, message.c_str()); }

}  // namespace mbrk
