#include "Base/internal/Text.h"

#include <cstring>

#include "Base/internal/Assert.h"

namespace mbrk {

namespace {

inline unsigned char Upper(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

}  // namespace

char* NewText(const char* bytes, std::size_t length) {
  char* text = new char[length + 1];
  if (length > 0) std::memcpy(text, bytes, length);
  text[length] = '\0';
  return text;
}

char* CopyText(const char* text) {
  return text == nullptr ? nullptr : NewText(text, std::strlen(text));
}

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

}  // namespace mbrk
