// Texts as the toolkit hands them between modules: new[] arrays of characters
// ending in a terminator, owned by whoever receives them.
#ifndef MBRK_BASE_INTERNAL_TEXT_H
#define MBRK_BASE_INTERNAL_TEXT_H

#include <cstddef>

namespace mbrk {

/// The byte value, 0..255, of a character held in memory. Bytes are compared
/// and classified as these values, never through a signed char, where 0xFF
/// would read as -1, the end of the input (see ByteReader.h).
constexpr int ByteOf(char c) noexcept { return static_cast<unsigned char>(c); }

/// A new[] array holding the `length` bytes at `bytes` and a terminator,
/// owned by the caller.
char* NewText(const char* bytes, std::size_t length);

/// A new[] copy of the NUL-terminated `text`, owned by the caller; null for
/// null.
char* CopyText(const char* text);

/// Compares two NUL-terminated texts ignoring the case of "a".."z"; -1, 0 or
/// 1. Declared for the toolkit's users in FileHandler/ParseTools.h, with its
/// contract there; defined on this floor so that the modules below the file
/// handling compare names the same way.
int strcasecmp(const char* a, const char* b) noexcept;

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_TEXT_H
