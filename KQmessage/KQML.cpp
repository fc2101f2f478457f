#include "KQmessage/KQML.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "Base/internal/Assert.h"
#include "Base/internal/NameIndex.h"
#include "Base/internal/NumberText.h"
#include "Base/internal/Text.h"

namespace mbrk {

namespace {

// The special characters of the message grammar.
constexpr char kSpecials[] = "():";

// Below this many entries a structure is searched entry by entry: a message
// of a few parameters is not worth an index.
constexpr std::int32_t kIndexedFrom = 8;

using Text = std::unique_ptr<char[]>;

Text Copy(const char* text) {
  MBRK_ASSERT(text != nullptr);
  return Text(CopyText(text));
}

Text ReadToken(const char** cursor, const char* specials) {
  return Text(NextToken(cursor, specials));
}

// Bytes outside "!".."~" separate tokens: control characters, the blank, DEL
// and every byte of an 8-bit code page above it.
bool IsPrintable(char c) {
  const int byte = ByteOf(c);
  return byte >= 33 && byte <= 126;
}

bool IsToken(const char* token, char c) { return token[0] == c && token[1] == '\0'; }

// An error reply of `type` with `details` as text parameters, in order.
[[noreturn]] void ThrowReply(const char* type,
                             std::initializer_list<std::pair<const char*, const char*>> details) {
  std::unique_ptr<TKQstructure> reply(MakeErrorReply(type));
  for (const auto& detail : details) reply->SetTextParameter(detail.first, detail.second);
  throw TKQstructure::Error{reply.release()};
}

// The "%ld" reading of the start of `text`, limited to 32 bits: a value that
// does not fit is no integer at all rather than a wrapped or clipped one.
bool ScanInteger(const char* text, std::int32_t* value) {
  MBRK_ASSERT(text != nullptr);
  return ConvertInteger(text, std::strlen(text), value);
}

}  // namespace

// ---- Construction, copying, destruction ----

TKQstructure::TKQstructure(std::unique_ptr<char[]>&& word, std::int32_t capacity)
    : MbrStrWord(nullptr), MbrDyaParameters(nullptr), MbrLngCapacity(0), MbrLngParameters(0) {
  MBRK_ASSERT(capacity >= 0);
  if (capacity > 0) MbrDyaParameters = new TKQparameter[capacity];
  MbrLngCapacity = capacity;
  MbrStrWord = word.release();
}

TKQstructure::TKQstructure() : TKQstructure(Copy("unknown"), kInitialCapacity) {}

TKQstructure::TKQstructure(const char* word) : TKQstructure(Copy(word), kInitialCapacity) {}

// Once the delegated constructor has finished, a failure while copying the
// entries runs the destructor, which releases the entries copied so far.
TKQstructure::TKQstructure(const TKQstructure& other)
    : TKQstructure(Copy(other.MbrStrWord), other.MbrLngParameters) {
  CopyEntriesFrom(other);
}

// Copy first, then swap: the source may live inside this structure's own
// tree, and a failed copy leaves this structure as it was.
TKQstructure& TKQstructure::operator=(const TKQstructure& other) {
  if (this != &other) {
    TKQstructure copy(other);
    std::swap(MbrStrWord, copy.MbrStrWord);
    std::swap(MbrDyaParameters, copy.MbrDyaParameters);
    std::swap(MbrLngCapacity, copy.MbrLngCapacity);
    std::swap(MbrLngParameters, copy.MbrLngParameters);
    std::swap(MbrPtrIndex, copy.MbrPtrIndex);
  }
  return *this;
}

TKQstructure::~TKQstructure() {
  ReleaseEntries();
  delete[] MbrDyaParameters;
  delete[] MbrStrWord;
}

// Fills this structure, which has room for exactly the source's entries and
// none in use, with a deep copy of the source's entries. Work still to do is
// kept on a list rather than the call stack, so depth costs no stack. Every
// structure is complete (its count covers exactly the filled entries) at any
// moment, so a failure leaves a tree the destructor can release.
void TKQstructure::CopyEntriesFrom(const TKQstructure& source) {
  std::vector<std::pair<const TKQstructure*, TKQstructure*>> pending{{&source, this}};
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    for (std::int32_t i = 0; i < from->MbrLngParameters; ++i) {
      const TKQparameter& entry = from->MbrDyaParameters[i];
      const TKQstructure& value = *entry.MbrPtrValue;
      Text keyword = Copy(entry.MbrStrKeyword);
      std::unique_ptr<TKQstructure> copy(
          new TKQstructure(Copy(value.MbrStrWord), value.MbrLngParameters));
      TKQstructure* const shell = copy.get();
      to->MbrDyaParameters[to->MbrLngParameters] = {keyword.release(), copy.release()};
      ++to->MbrLngParameters;
      if (value.MbrLngParameters > 0) pending.emplace_back(&value, shell);
    }
  }
}

// Releases every entry below this structure without recursion and without
// allocating: the walk always descends into the last entry of the current
// structure, parking the way back in that entry's value pointer, and on the
// way up removes the entry it came from. Each structure is deleted only once
// it has no entries left, so its own destructor does no further walking.
void TKQstructure::ReleaseEntries() noexcept {
  TKQstructure* parent = nullptr;
  TKQstructure* current = this;
  for (;;) {
    if (current->MbrLngParameters > 0) {
      TKQparameter& last = current->MbrDyaParameters[current->MbrLngParameters - 1];
      TKQstructure* const child = last.MbrPtrValue;
      last.MbrPtrValue = parent;
      parent = current;
      current = child;
      continue;
    }
    if (current == this) return;
    delete current;
    TKQparameter& last = parent->MbrDyaParameters[parent->MbrLngParameters - 1];
    TKQstructure* const grandparent = last.MbrPtrValue;
    delete[] last.MbrStrKeyword;
    --parent->MbrLngParameters;
    current = parent;
    parent = grandparent;
  }
}

// ---- Parameters ----

// The entry array and count it describes tell whether the index still
// belongs to the structure; entries replaced from outside are indexed anew.
struct TKQstructure::Index {
  Index(const TKQparameter* described, std::int32_t count) noexcept
      : entries(described), entry_count(count) {}

  const TKQparameter* entries;
  std::int32_t entry_count;
  NameIndex keywords{NameMatch::kIgnoreCase};
};

bool TKQstructure::IndexIsCurrent() const noexcept {
  return MbrPtrIndex != nullptr && MbrPtrIndex->entries == MbrDyaParameters &&
         MbrPtrIndex->entry_count == MbrLngParameters;
}

// An index of the entries as they stand, with space for `room` keywords.
// Recorded from the last entry back: a keyword that appears twice (only
// entries put together from outside can hold one) is found where a search
// from the last entry would find it.
std::unique_ptr<TKQstructure::Index> TKQstructure::MakeIndex(std::int32_t room) const {
  auto index = std::make_unique<Index>(MbrDyaParameters, MbrLngParameters);
  index->keywords.Reserve(room);
  const auto keyword_at = [this](std::int32_t i) { return MbrDyaParameters[i].MbrStrKeyword; };
  for (std::int32_t i = MbrLngParameters - 1; i >= 0; --i) {
    const char* keyword = MbrDyaParameters[i].MbrStrKeyword;
    if (index->keywords.Find(keyword, keyword_at) < 0) index->keywords.Insert(keyword, i);
  }
  return index;
}

// A structure with many entries and no current index gets one here; without
// memory for it, the search goes entry by entry from the last, recently set
// keywords being the likeliest to be asked for.
TKQparameter* TKQstructure::FindEntry(const char* keyword) const noexcept {
  MBRK_ASSERT(keyword != nullptr);
  if (MbrLngParameters >= kIndexedFrom && !IndexIsCurrent()) {
    try {
      MbrPtrIndex = MakeIndex(MbrLngParameters);
    } catch (const std::bad_alloc&) {
      MbrPtrIndex.reset();
    }
  }
  if (IndexIsCurrent()) {
    const std::int32_t i = MbrPtrIndex->keywords.Find(
        keyword, [this](std::int32_t k) { return MbrDyaParameters[k].MbrStrKeyword; });
    return i < 0 ? nullptr : &MbrDyaParameters[i];
  }
  for (std::int32_t i = MbrLngParameters - 1; i >= 0; --i) {
    if (strcasecmp(MbrDyaParameters[i].MbrStrKeyword, keyword) == 0) return &MbrDyaParameters[i];
  }
  return nullptr;
}

void TKQstructure::AppendEntry(char* keyword, TKQstructure* value) {
  if (MbrLngParameters == MbrLngCapacity) {
    if (MbrLngCapacity > std::numeric_limits<std::int32_t>::max() / 2) {
      throw std::length_error("TKQstructure: too many parameters");
    }
    const std::int32_t capacity = std::max(kInitialCapacity, MbrLngCapacity * 2);
    auto* entries = new TKQparameter[capacity];
    for (std::int32_t i = 0; i < MbrLngParameters; ++i) entries[i] = MbrDyaParameters[i];
    delete[] MbrDyaParameters;
    MbrDyaParameters = entries;
    MbrLngCapacity = capacity;
  }
  MbrDyaParameters[MbrLngParameters] = {keyword, value};
  ++MbrLngParameters;
}

void TKQstructure::SetParameter(const char* keyword, TKQstructure* newval) {
  MBRK_ASSERT(newval != NULL);
  MBRK_ASSERT(newval != this);
  // Ours from here on, also when appending fails.
  std::unique_ptr<TKQstructure> value(newval);
  if (TKQparameter* entry = FindEntry(keyword)) {
    // Handing an entry its own value must not destroy it first.
    if (entry->MbrPtrValue != newval) {
      delete entry->MbrPtrValue;
      entry->MbrPtrValue = value.get();
    }
    value.release();
    return;
  }
  Text copy = Copy(keyword);
  // The index makes its room first, so that recording the new entry cannot
  // fail once the entry is in.
  const std::int32_t position = MbrLngParameters;
  const bool indexed = IndexIsCurrent();
  std::unique_ptr<Index> fresh;
  if (indexed) {
    MbrPtrIndex->keywords.Reserve(position + 1);
  } else if (position + 1 >= kIndexedFrom) {
    fresh = MakeIndex(position + 1);
  }
  AppendEntry(copy.get(), value.get());
  copy.release();
  value.release();
  if (indexed || fresh != nullptr) {
    if (fresh != nullptr) MbrPtrIndex = std::move(fresh);
    Index& index = *MbrPtrIndex;
    index.entries = MbrDyaParameters;
    index.entry_count = MbrLngParameters;
    index.keywords.Insert(MbrDyaParameters[position].MbrStrKeyword, position);
  } else {
    MbrPtrIndex.reset();  // a short structure: any index left is of entries replaced from outside
  }
}

TKQstructure* TKQstructure::FindParameter(const char* keyword) {
  TKQparameter* entry = FindEntry(keyword);
  return entry == nullptr ? nullptr : entry->MbrPtrValue;
}

const TKQstructure* TKQstructure::FindParameter(const char* keyword) const {
  const TKQparameter* entry = FindEntry(keyword);
  return entry == nullptr ? nullptr : entry->MbrPtrValue;
}

TKQstructure* TKQstructure::GetParameter(const char* keyword) {
  TKQstructure* value = FindParameter(keyword);
  if (value == nullptr) MBRK_ASSERT(0);
  return value;
}

const TKQstructure* TKQstructure::GetParameter(const char* keyword) const {
  const TKQstructure* value = FindParameter(keyword);
  if (value == nullptr) MBRK_ASSERT(0);
  return value;
}

// The last entry fills the gap, so removal costs no shifting; entry order is
// not kept across a removal.
void TKQstructure::RemoveParameter(const char* keyword) {
  TKQparameter* entry = FindEntry(keyword);
  if (entry == nullptr) return;
  const auto position = static_cast<std::int32_t>(entry - MbrDyaParameters);
  const std::int32_t last = MbrLngParameters - 1;
  if (IndexIsCurrent()) {
    Index& index = *MbrPtrIndex;
    index.keywords.Erase(entry->MbrStrKeyword, position);
    if (position != last) index.keywords.Move(MbrDyaParameters[last].MbrStrKeyword, last, position);
    index.entry_count = last;
  }
  delete[] entry->MbrStrKeyword;
  delete entry->MbrPtrValue;
  *entry = MbrDyaParameters[MbrLngParameters - 1];
  --MbrLngParameters;
}

// ---- Typed setters ----

void TKQstructure::SetTextParameter(const char* keyword, const char* value) {
  SetParameter(keyword, new TKQstructure(value));
}

void TKQstructure::SetIntegerParameter(const char* keyword, std::int32_t value) {
  char text[16];  // "-2147483648" and its terminator fit
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  SetTextParameter(keyword, text);
}

// Fixed notation has as many digits as the magnitude needs: beyond the usual
// buffer the text is formed in one of its exact size, never cut short.
void TKQstructure::SetNumberParameter(const char* keyword, double value) {
  char text[256];
  const int length = std::snprintf(text, sizeof text, "%f", value);
  MBRK_ASSERT(length >= 0);
  if (static_cast<std::size_t>(length) < sizeof text) {
    SetTextParameter(keyword, text);
    return;
  }
  const std::size_t size = static_cast<std::size_t>(length) + 1;
  Text large(new char[size]);
  std::snprintf(large.get(), size, "%f", value);
  SetTextParameter(keyword, large.get());
}

void TKQstructure::SetBooleanParameter(const char* keyword, bool value) {
  SetTextParameter(keyword, value ? "true" : "false");
}

// ---- Checking received messages ----

TKQstructure* TKQstructure::RequireParameter(const char* keyword) {
  TKQstructure* value = FindParameter(keyword);
  if (value == nullptr) ThrowReply("invalid-message", {{"expected", keyword}});
  return value;
}

const TKQstructure* TKQstructure::RequireParameter(const char* keyword) const {
  const TKQstructure* value = FindParameter(keyword);
  if (value == nullptr) ThrowReply("invalid-message", {{"expected", keyword}});
  return value;
}

void TKQstructure::CheckParameter(const char* keyword, const char* expected) const {
  MBRK_ASSERT(expected != nullptr);
  const TKQstructure* value = RequireParameter(keyword);
  if (expected[0] != '\0' && strcasecmp(value->MbrStrWord, expected) != 0) {
    ThrowReply("invalid-message", {{"tag", keyword}, {"expected-value", expected}});
  }
}

bool TKQstructure::ParseBoolean(const char* text) {
  MBRK_ASSERT(text != nullptr);
  if (strcasecmp(text, "TRUE") == 0) return true;
  if (strcasecmp(text, "FALSE") == 0) return false;
  ThrowReply("type-error", {{"expected", "boolean"}});
}

// ---- Text form ----

// The open messages are kept on a list with the next entry to print, so depth
// costs no stack.
void TKQstructure::Print() const {
  std::ostream& out = std::cout;
  struct Open {
    const TKQstructure* message;
    std::int32_t next;
  };
  std::vector<Open> open;
  const TKQstructure* node = this;
  while (node != nullptr) {
    if (node->MbrLngParameters == 0) {
      out << node->MbrStrWord;
    } else {
      out << '(' << node->MbrStrWord;
      open.push_back({node, 0});
    }
    node = nullptr;
    while (node == nullptr && !open.empty()) {
      Open& top = open.back();
      if (top.next < top.message->MbrLngParameters) {
        const TKQparameter& entry = top.message->MbrDyaParameters[top.next++];
        out << " :" << entry.MbrStrKeyword << ' ';
        node = entry.MbrPtrValue;
      } else {
        out << ')';
        open.pop_back();
      }
    }
  }
}

std::ostream& TKQstructure::PrintLine() const {
  Print();
  return std::cout << std::endl;
}

char* NextToken(const char** cursor, const char* specials) {
  MBRK_ASSERT(cursor != nullptr && *cursor != nullptr && specials != nullptr);
  const char* p = *cursor;
  while (*p != '\0' && !IsPrintable(*p)) ++p;
  const char* const start = p;
  if (*p != '\0') {
    if (std::strchr(specials, *p) != nullptr) {
      ++p;
    } else {
      // A ":" inside a word belongs to it, so price:usd stays one word.
      while (IsPrintable(*p) && (*p == ':' || std::strchr(specials, *p) == nullptr)) ++p;
    }
  }
  char* const token = NewText(start, static_cast<std::size_t>(p - start));
  *cursor = p;
  return token;
}

bool ExpectWord(char c) {
  if (c != '\0' && c != '(' && c != ')' && c != ':') return true;
  std::cerr << "special character unexpected" << std::endl;
  return false;
}

// The messages still open are kept on a list, each with the keyword whose
// value is being read, so depth costs no stack; kMaxNesting bounds the list.
// Every early return releases the tokens and partial structures read so far.
TKQstructure* TKQstructure::ParseExpression(const char** cursor) {
  struct Open {
    std::unique_ptr<TKQstructure> message;
    Text keyword;  // awaiting its value
  };
  std::vector<Open> open;
  for (;;) {
    // An expression begins: an atom, or a message that opens.
    std::unique_ptr<TKQstructure> complete;
    Text token = ReadToken(cursor, kSpecials);
    if (IsToken(token.get(), '(')) {
      if (open.size() >= static_cast<std::size_t>(kMaxNesting)) return nullptr;
      Text performative = ReadToken(cursor, kSpecials);
      if (!ExpectWord(performative[0])) return nullptr;
      open.push_back({std::unique_ptr<TKQstructure>(
                          new TKQstructure(std::move(performative), kInitialCapacity)),
                      nullptr});
    } else {
      if (!ExpectWord(token[0])) return nullptr;
      complete.reset(new TKQstructure(std::move(token), kInitialCapacity));
    }
    // Hand finished expressions to the message awaiting them and close
    // messages, until a keyword asks for the next value.
    for (;;) {
      if (complete) {
        if (open.empty()) return complete.release();
        Open& top = open.back();
        top.message->SetParameter(top.keyword.get(), complete.release());
        top.keyword.reset();
      }
      Text next = ReadToken(cursor, kSpecials);
      if (IsToken(next.get(), ')')) {
        complete = std::move(open.back().message);
        open.pop_back();
        continue;
      }
      if (!IsToken(next.get(), ':')) return nullptr;  // a word, "(" or the end of the text
      Text keyword = ReadToken(cursor, kSpecials);
      if (!ExpectWord(keyword[0])) return nullptr;
      open.back().keyword = std::move(keyword);
      break;
    }
  }
}

// With no special characters the rest of the text, if it holds anything
// printable, reads as one non-empty word.
TKQstructure* TKQstructure::ParseMessage(const char** cursor) {
  std::unique_ptr<TKQstructure> message(ParseExpression(cursor));
  if (message == nullptr) return nullptr;
  const Text rest = ReadToken(cursor, "");
  if (rest[0] != '\0') return nullptr;
  return message.release();
}

// ---- Free functions ----

std::int32_t AsInteger(const char* text) {
  std::int32_t value = 0;
  const int err = ScanInteger(text, &value) ? 1 : 0;
  MBRK_ASSERT(err == 1);
  return value;
}

std::int32_t ParseInteger(const char* text) {
  std::int32_t value = 0;
  if (!ScanInteger(text, &value)) ThrowReply("invalid-message", {{"integer-expected", text}});
  return value;
}

double AsNumber(const char* text) {
  double value = 0;
  const int err = ConvertLeadingNumber(text, &value) ? 1 : 0;
  MBRK_ASSERT(err == 1);
  return value;
}

double ParseNumber(const char* text) {
  double value = 0;
  if (!ConvertLeadingNumber(text, &value)) {
    ThrowReply("invalid-message", {{"number-expected", text}});
  }
  return value;
}

TKQstructure* MakeErrorReply(const char* type) {
  std::unique_ptr<TKQstructure> reply(new TKQstructure("error"));
  reply->SetTextParameter("type", type);
  return reply.release();
}

char* JoinArguments(int count, const char* const* arguments) {
  MBRK_ASSERT(count <= 1 || arguments != nullptr);
  std::size_t length = 0;
  for (int i = 1; i < count; ++i) {
    MBRK_ASSERT(arguments[i] != nullptr);
    length += std::strlen(arguments[i]) + 1;
  }
  char* const text = new char[length + 1];
  char* p = text;
  for (int i = 1; i < count; ++i) {
    const std::size_t n = std::strlen(arguments[i]);
    std::memcpy(p, arguments[i], n);
    p += n;
    *p++ = ' ';
  }
  *p = '\0';
  return text;
}

}  // namespace mbrk
