#include "FileHandler/ParseTools.h"

#include <cstring>

#include "DataObject/Assert.h"

namespace mbrk {

namespace {

inline unsigned char Upper(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

}  // namespace

// Folding on the fly gives the same order as comparing two upper-case copies,
// without allocating them.
int strcasecmp(const char* a, const char* b) noexcept {
  MBRK_ASSERT(a != nullptr && b != nullptr);
  for (;; ++a, ++b) {
    const unsigned char ca = Upper(*a);
    const unsigned char cb = Upper(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

char* FileTools::DuplicateString(const char* text) {
  MBRK_ASSERT(text != nullptr);
  const std::size_t size = std::strlen(text) + 1;
  char* copy = new char[size];
  std::memcpy(copy, text, size);
  return copy;
}

}  // namespace mbrk
