#include "DataObject/LabelList.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "Base/internal/Assert.h"
#include "Base/internal/Text.h"

namespace mbrk {

// ---- TLabel ----

TLabel::TLabel(const TLabel& other)
    : MbrDblValue(other.MbrDblValue), MbrStrName(CopyText(other.MbrStrName)) {}

TLabel::TLabel(TLabel&& other) noexcept
    : MbrDblValue(other.MbrDblValue), MbrStrName(std::exchange(other.MbrStrName, nullptr)) {}

TLabel& TLabel::operator=(const TLabel& other) {
  if (this != &other) {
    // Copy first, so a failed allocation leaves this label as it was.
    char* name = CopyText(other.MbrStrName);
    delete[] MbrStrName;
    MbrStrName = name;
    MbrDblValue = other.MbrDblValue;
  }
  return *this;
}

TLabel& TLabel::operator=(TLabel&& other) noexcept {
  if (this != &other) {
    delete[] MbrStrName;
    MbrStrName = std::exchange(other.MbrStrName, nullptr);
    MbrDblValue = other.MbrDblValue;
  }
  return *this;
}

TLabel::~TLabel() { delete[] MbrStrName; }

// ---- TLabelList ----

TLabelList::TLabelList(const char* name, double value) {
  MBRK_ASSERT(name != nullptr);
  std::unique_ptr<TLabel[]> items(new TLabel[1]);
  items[0].MbrStrName = CopyText(name);
  items[0].MbrDblValue = value;
  MbrDyaItems = items.release();
  MbrLngCount = 1;
}

TLabelList::TLabelList(const TLabelList& other) {
  if (other.MbrLngCount <= 0) return;
  std::unique_ptr<TLabel[]> items(new TLabel[other.MbrLngCount]);
  for (std::int32_t i = 0; i < other.MbrLngCount; ++i) items[i] = other.MbrDyaItems[i];
  MbrDyaItems = items.release();
  MbrLngCount = other.MbrLngCount;
}

TLabelList::TLabelList(TLabelList&& other) noexcept
    : MbrLngCount(std::exchange(other.MbrLngCount, 0)),
      MbrDyaItems(std::exchange(other.MbrDyaItems, nullptr)) {}

TLabelList& TLabelList::operator=(const TLabelList& other) {
  if (this != &other) {
    // The whole copy is built before the old labels go, so a failed
    // allocation half way leaves this list intact.
    TLabelList copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TLabelList& TLabelList::operator=(TLabelList&& other) noexcept {
  if (this != &other) {
    delete[] MbrDyaItems;
    MbrLngCount = std::exchange(other.MbrLngCount, 0);
    MbrDyaItems = std::exchange(other.MbrDyaItems, nullptr);
  }
  return *this;
}

TLabelList::~TLabelList() { delete[] MbrDyaItems; }

void TLabelList::AppendLabel(const char* name, double value) {
  MBRK_ASSERT(name != nullptr);
  for (std::int32_t i = 0; i < MbrLngCount; ++i) {
    TLabel& label = MbrDyaItems[i];
    if (label.MbrStrName != nullptr && std::strcmp(label.MbrStrName, name) == 0) {
      label.MbrDblValue = value + label.MbrDblValue;
      return;
    }
  }
  // The count is a 32-bit number: a list that long cannot grow any further.
  if (MbrLngCount == std::numeric_limits<std::int32_t>::max()) throw std::bad_alloc();

  // Everything that can fail happens before the existing labels move over.
  std::unique_ptr<TLabel[]> items(new TLabel[static_cast<std::size_t>(MbrLngCount) + 1]);
  items[MbrLngCount].MbrStrName = CopyText(name);
  items[MbrLngCount].MbrDblValue = value;
  // Moving hands each name array over instead of copying it.
  for (std::int32_t i = 0; i < MbrLngCount; ++i) items[i] = std::move(MbrDyaItems[i]);
  delete[] MbrDyaItems;
  MbrDyaItems = items.release();
  ++MbrLngCount;
}

}  // namespace mbrk
