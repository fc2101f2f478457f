// KQML messages, the structure: a TKQstructure's construction, deep copies
// and release without recursion, and its keyword/value entries with the index
// that long messages keep of their keywords. The typed parameters and error
// replies are in KQMLParameters.cpp, the text form in KQMLText.cpp.
#include "KQmessage/KQML.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "Base/internal/Assert.h"
#include "Base/internal/NameIndex.h"
#include "Base/internal/Text.h"

namespace mbrk {

namespace {

using Text = std::unique_ptr<char[]>;

Text Copy(const char* text) {
  MBRK_ASSERT(text != nullptr);
  return Text(CopyText(text));
}

// Keywords ignore case. Below eight entries a structure is searched entry
// by entry: a message of a few parameters is not worth an index. Of a
// keyword held twice (only entries put together from outside can hold one)
// the last entry is found, recently set keywords being the likeliest to be
// asked for.
constexpr TableRules kKeywords{NameMatch::kIgnoreCase, NameWalk::kFromLast, 8};

// The entries of `message` as a table, with `index` its keyword index.
auto Entries(const TKQstructure& message, std::unique_ptr<TableIndex>& index) noexcept {
  const auto keyword_at = [&message](std::int32_t i) {
    return message.MbrDyaParameters[i].MbrStrKeyword;
  };
  return IndexedTable<decltype(keyword_at)>(kKeywords, index, message.MbrDyaParameters,
                                            message.MbrLngParameters, keyword_at);
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

TKQparameter* TKQstructure::FindEntry(const char* keyword) const noexcept {
  MBRK_ASSERT(keyword != nullptr);
  const std::int32_t i = Entries(*this, MbrPtrIndex).Find(keyword);
  return i < 0 ? nullptr : &MbrDyaParameters[i];
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
  auto entries = Entries(*this, MbrPtrIndex);
  entries.PrepareAppend();
  AppendEntry(copy.get(), value.get());
  copy.release();
  value.release();
  entries.Appended(MbrDyaParameters, MbrLngCapacity);
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
  Entries(*this, MbrPtrIndex).Removing(position);
  delete[] entry->MbrStrKeyword;
  delete entry->MbrPtrValue;
  *entry = MbrDyaParameters[MbrLngParameters - 1];
  --MbrLngParameters;
}

}  // namespace mbrk
