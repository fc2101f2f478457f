#include "Base/internal/Text.h"

#include <cstring>

#include "Base/internal/Assert.h"

namespace mbrk {

namespace {

// Bytes are compared as unsigned values, so "a" < "_" once folded and bytes
// above 127 sort after every letter.
inline int Upper(char c) noexcept {
  const int byte = ByteOf(c);
  return (byte >= 'a' && byte <= 'z') ? byte - 'a' + 'A' : byte;
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
    const int ca = Upper(*a);
    const int cb = Upper(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

}  // namespace mbrk
