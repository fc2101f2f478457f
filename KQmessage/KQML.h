// KQML messages: the TKQstructure record, its KQML text form, typed
// parameters and the error replies in which the toolkit reports bad messages.
//
// Text form: an expression is a word (an atom) or a message
//   "(" performative { ":" keyword expression } ")"
// Tokens are separated by every byte outside "!".."~"; "(", ")" and ":" are
// tokens of their own, except that a ":" inside a word belongs to the word
// (price:usd is one word). There are no quotes, escapes or comments.
#ifndef MBRK_KQMESSAGE_KQML_H
#define MBRK_KQMESSAGE_KQML_H

#include <cstdint>
#include <memory>
#include <ostream>

namespace mbrk {

class TKQstructure;
struct TableIndex;

/// One keyword/value entry of a structure. Both members are owned by the
/// structure holding the entry.
struct TKQparameter {
  char* MbrStrKeyword;        // without its colon, spelled as first set; new[]
  TKQstructure* MbrPtrValue;  // never null
};

/// A KQML message (a performative with keyword/value parameters) or an atom
/// (a single word). A structure with no parameters is an atom.
///
/// The structure owns its word, every keyword and every value, recursively;
/// copies are deep. Keywords are compared ignoring letter case, and no two
/// entries have equal keywords. Copying, assigning, printing and destroying
/// work without recursion, so they are safe at any depth of nesting.
///
/// A structure with many entries keeps an index of its keywords beside them,
/// so that setting, finding and removing a parameter take constant time on
/// average and parsing a message takes time in proportion to its text. The
/// public members may be read directly; change entries through the
/// operations only (an entry array or count replaced from outside is indexed
/// anew, but a keyword text changed in place is not noticed).
class TKQstructure {
 public:
  /// Thrown by the checking and conversion operations. `MbrPtrReply` is an
  /// error reply, (error :type KIND ...), owned by whoever handles the
  /// exception; copies of the record share it.
  struct Error {
    TKQstructure* MbrPtrReply;
  };

  /// Deepest nesting of messages that the parser accepts: the outermost
  /// message is level 1. Deeper texts are rejected as malformed, which keeps
  /// a hostile text from handing receivers a structure they cannot walk.
  static constexpr std::int32_t kMaxNesting = 10000;

  /// Room for this many entries in a new structure, and the least capacity
  /// after growth.
  static constexpr std::int32_t kInitialCapacity = 16;

  /// The atom "unknown", with room for 16 entries.
  TKQstructure();
  /// An atom holding a copy of `word`, with room for 16 entries.
  explicit TKQstructure(const char* word);
  /// Deep copy; the copy's capacity equals the source's entry count.
  TKQstructure(const TKQstructure& other);
  /// Deep copy as above (capacity equal to the count); self-assignment and
  /// assignment from a structure inside this one's own tree are safe.
  TKQstructure& operator=(const TKQstructure& other);
  /// Releases the whole tree.
  ~TKQstructure();

  // ---- Parameters ----

  /// Takes ownership of `newval` (never null) as the value of `keyword`. An
  /// existing entry with an equal keyword keeps its position and spelling
  /// and gets the new value (the old one is destroyed; handing an entry its
  /// own current value changes nothing). Otherwise an entry holding a copy of
  /// `keyword` is appended, the capacity doubling (at least to 16) when full.
  /// `newval` must not belong to any structure already.
  void SetParameter(const char* keyword, TKQstructure* newval);
  /// The value of `keyword`, or null when absent. Still owned by this.
  /// Lookups never fail: a structure that cannot index its keywords for want
  /// of memory is searched entry by entry.
  TKQstructure* FindParameter(const char* keyword);
  const TKQstructure* FindParameter(const char* keyword) const;
  /// The value of `keyword`, which must be present (consistency check).
  TKQstructure* GetParameter(const char* keyword);
  const TKQstructure* GetParameter(const char* keyword) const;
  /// Releases the entry of `keyword`, if any; the last entry takes its place.
  void RemoveParameter(const char* keyword);

  // ---- Typed setters: each sets an atom holding the value's text ----

  /// The value text as given, neither checked nor quoted.
  void SetTextParameter(const char* keyword, const char* value);
  /// Decimal, with a minus sign for negatives.
  void SetIntegerParameter(const char* keyword, std::int32_t value);
  /// Fixed notation with six decimals ("%f"), in full at any magnitude.
  void SetNumberParameter(const char* keyword, double value);
  /// "true" or "false".
  void SetBooleanParameter(const char* keyword, bool value);

  // ---- Checking received messages; failures throw Error ----

  /// The value of `keyword`; throws (error :type invalid-message :expected
  /// KEYWORD) when absent.
  TKQstructure* RequireParameter(const char* keyword);
  const TKQstructure* RequireParameter(const char* keyword) const;
  /// Throws (error :type invalid-message :expected KEYWORD) when `keyword` is
  /// absent; then, unless `expected` is empty, throws (error :type
  /// invalid-message :tag KEYWORD :expected-value EXPECTED) when the value's
  /// word differs from `expected` ignoring case.
  void CheckParameter(const char* keyword, const char* expected) const;
  /// True for "TRUE", false for "FALSE", ignoring case; anything else throws
  /// (error :type type-error :expected boolean).
  static bool ParseBoolean(const char* text);

  // ---- Text form ----

  /// Writes the printed form to standard output, without a line end: the
  /// word alone for a structure without parameters, else "(" word, then
  /// " :" keyword " " value per entry in order, and ")". Nothing is quoted.
  void Print() const;
  /// Print, then an end of line (which flushes). Returns standard output.
  std::ostream& PrintLine() const;

  /// Parses one expression at `*cursor` and leaves the cursor just after it.
  /// Returns a new structure owned by the caller, or null for a rejected
  /// text: where a word was due but the text ended or held "(", ")" or ":",
  /// the line "special character unexpected" goes to standard error first;
  /// other malformed texts (a word or "(" where ":" or ")" is due, an
  /// unclosed message, nesting deeper than kMaxNesting) are rejected
  /// silently. After a rejection the cursor is where reading stopped.
  static TKQstructure* ParseExpression(const char** cursor);
  /// ParseExpression, then demands that only separators remain; the cursor
  /// ends past everything read. Null for a rejected text.
  static TKQstructure* ParseMessage(const char** cursor);

  char* MbrStrWord;                // performative or atom text; new[]
  TKQparameter* MbrDyaParameters;  // new[] of MbrLngCapacity entries, or null
  std::int32_t MbrLngCapacity;
  std::int32_t MbrLngParameters;  // entries in use, in order of first setting

 private:
  // Takes over `word` and makes room for `capacity` entries. The word stays
  // with the caller when the room cannot be made.
  TKQstructure(std::unique_ptr<char[]>&& word, std::int32_t capacity);

  TKQparameter* FindEntry(const char* keyword) const noexcept;
  void AppendEntry(char* keyword, TKQstructure* value);
  void ReleaseEntries() noexcept;
  void CopyEntriesFrom(const TKQstructure& source);

  // The keyword index of a structure with many entries, made when first
  // needed (a lookup in a const structure may make it: one thread at a time).
  mutable std::unique_ptr<TableIndex> MbrPtrIndex;
};

/// Reads the next token at `*cursor`, with `specials` the characters that
/// are tokens by themselves, and moves the cursor past it. Returns a new[]
/// text owned by the caller: the empty text at the end of the text (the
/// cursor stays on the NUL), one special character, or a word. A word runs
/// over printable characters that are not special, and over every ":".
char* NextToken(const char** cursor, const char* specials);

/// True when `c` can begin a word: anything but NUL, "(", ")" and ":". For
/// the others writes "special character unexpected" and an end of line to
/// standard error and returns false.
bool ExpectWord(char c);

/// The integer at the start of `text` ("%ld" rules: leading white space and
/// a sign accepted, the rest ignored). The text must hold one within 32 bits
/// (consistency check).
std::int32_t AsInteger(const char* text);
/// As AsInteger, but a text without a 32-bit integer at its start throws
/// (error :type invalid-message :integer-expected TEXT).
std::int32_t ParseInteger(const char* text);
/// The number at the start of `text` ("%lf" rules). The text must hold one
/// (consistency check).
double AsNumber(const char* text);
/// As AsNumber, but a text without a number at its start throws
/// (error :type invalid-message :number-expected TEXT).
double ParseNumber(const char* text);

/// A new structure (error :type TYPE), owned by the caller.
TKQstructure* MakeErrorReply(const char* type);

/// A new[] text, owned by the caller, of `arguments[1]` to
/// `arguments[count - 1]`, each followed by one blank; element 0 (the
/// program name) is skipped. The empty text for a count of 1 or less.
char* JoinArguments(int count, const char* const* arguments);

}  // namespace mbrk

#endif  // MBRK_KQMESSAGE_KQML_H
