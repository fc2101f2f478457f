// The texts of an element taken over by the code that reads it.
#ifndef MBRK_FILEHANDLER_INTERNAL_ELEMENTTEXTS_H
#define MBRK_FILEHANDLER_INTERNAL_ELEMENTTEXTS_H

#include <cstdint>
#include <memory>

#include "Base/internal/Text.h"
#include "FileHandler/ParseTools.h"

namespace mbrk {

/// Owns the name and value of `element` from construction to the end of the
/// scope, also when an exception leaves it; a text handed on is released
/// from here first.
struct ElementTexts {
  explicit ElementTexts(const TElement& element)
      : kind(element.MbrLngKind), name(element.MbrStrName), value(element.MbrStrValue) {}

  /// True for a field named `s`, ignoring case.
  bool IsFieldNamed(const char* s) const {
    return kind == ekField && name != nullptr && strcasecmp(name.get(), s) == 0;
  }
  /// The value, or the empty text when there is none.
  const char* ValueText() const { return value != nullptr ? value.get() : ""; }
  /// Hands both texts back to the element they came from, whose new owner
  /// releases them.
  void GiveBack() noexcept {
    static_cast<void>(name.release());
    static_cast<void>(value.release());
  }

  std::int32_t kind;
  std::unique_ptr<char[]> name;
  std::unique_ptr<char[]> value;
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_ELEMENTTEXTS_H
