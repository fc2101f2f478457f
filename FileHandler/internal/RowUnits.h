// The words of a data block as the row scan takes them: a number, a label
// list passed over whole, or a comment, each read from bytes in memory exactly
// as far as the row reader reads it from a stream, or not taken at all.
#ifndef MBRK_FILEHANDLER_INTERNAL_ROWUNITS_H
#define MBRK_FILEHANDLER_INTERNAL_ROWUNITS_H

#include <cstddef>
#include <cstdint>

#include "Base/internal/Text.h"
#include "FileHandler/internal/Lexer.h"

namespace mbrk::row_units {

/// What ScanUnit found.
enum class Found { kUnit, kList, kComment, kForeign, kShort };

struct Step {
  Found found;
  std::size_t end;  // just past it, as the row reader leaves the stream
};

/// The bytes of a piece: [0, held), the input ending there when `ends`.
struct Bytes {
  const char* at;
  std::size_t held;
  bool ends;

  int operator[](std::size_t i) const { return ByteOf(at[i]); }
  bool Separator(std::size_t i) const { return IsSeparator(ByteOf(at[i])); }
  bool Word(std::size_t i) const { return IsWordByte(ByteOf(at[i])); }
  std::size_t SkipSeparators(std::size_t i) const {
    while (i < held && Separator(i)) ++i;
    return i;
  }
  std::size_t SkipWord(std::size_t i) const {
    while (i < held && Word(i)) ++i;
    return i;
  }
  /// What a unit that runs past the bytes held is: kShort, or kForeign
  /// where the input ends there (the row reader reports it).
  Step Short() const { return Step{ends ? Found::kForeign : Found::kShort, 0}; }
};

/// Reads the unit that begins at `p` (not a separator): a word standing for a
/// number (kUnit), a label list (kList) or a comment (kComment), and where
/// the row reader would stand after it; kForeign for anything else, and for
/// every case where the readers of numbers and of label lists would differ
/// (the row reader then decides); kShort when the bytes held end too soon.
Step ScanUnit(const Bytes& b, std::size_t p);

/// Bytes the buffer must hold past `held`, zeros (separators), for PlainRun.
inline constexpr std::size_t kPadding = 64;

/// Counts the words from `p` on, short of `end`, that are plain numbers (a
/// digit first, after a sign or point; only digits, signs, points and
/// exponent letters in them; each ended by a separator), 64 bytes at a time,
/// and stops after the separators that end the last of them, before anything
/// else. Returns where it stopped (`p` when it counted none) and the count in
/// `count`. Reads up to kPadding bytes past `end`.
std::size_t PlainRun(const Bytes& b, std::size_t p, std::size_t end, std::uint32_t& count);

/// Where the row reader stands after the word numbered `word` (from 0) of the
/// plain run [p, end) that PlainRun found: past the separator that ends it.
std::size_t AfterWord(const Bytes& b, std::size_t p, std::size_t end, std::uint32_t word);

}  // namespace mbrk::row_units

#endif  // MBRK_FILEHANDLER_INTERNAL_ROWUNITS_H
