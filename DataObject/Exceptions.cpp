#include "DataObject/Exceptions.h"

#include <memory>
#include <utility>

#include "Base/internal/Text.h"
// The data model's one tie to the message module: a TException owns a
// structure as its detail, and copying or releasing one needs the whole type.
#include "KQmessage/KQML.h"

namespace mbrk {

TException::TException(const char* message, const char* category) {
  std::unique_ptr<char[]> msg(CopyText(message));
  MbrStrCategory = CopyText(category);
  MbrStrMessage = msg.release();
}

TException::TException(const char* message, const char* category, const char* location,
                       TKQstructure* detail) {
  // The detail is ours from the start, whatever happens to the copies.
  MbrPtrDetail = detail;
  try {
    MbrStrMessage = CopyText(message);
    MbrStrCategory = CopyText(category);
    MbrStrLocation = CopyText(location);
  } catch (...) {
    Release();
    throw;
  }
}

TException::TException(const TException& other) {
  try {
    MbrStrMessage = CopyText(other.MbrStrMessage);
    MbrStrCategory = CopyText(other.MbrStrCategory);
    MbrStrLocation = CopyText(other.MbrStrLocation);
    MbrPtrDetail = CopyDetail(other.MbrPtrDetail);
  } catch (...) {
    Release();
    throw;
  }
}

TException& TException::operator=(const TException& other) {
  if (this != &other) {
    TException copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TException::TException(TException&& other) noexcept
    : MbrStrMessage(std::exchange(other.MbrStrMessage, nullptr)),
      MbrStrCategory(std::exchange(other.MbrStrCategory, nullptr)),
      MbrPtrDetail(std::exchange(other.MbrPtrDetail, nullptr)),
      MbrStrLocation(std::exchange(other.MbrStrLocation, nullptr)) {}

TException& TException::operator=(TException&& other) noexcept {
  if (this != &other) {
    Release();
    MbrStrMessage = std::exchange(other.MbrStrMessage, nullptr);
    MbrStrCategory = std::exchange(other.MbrStrCategory, nullptr);
    MbrPtrDetail = std::exchange(other.MbrPtrDetail, nullptr);
    MbrStrLocation = std::exchange(other.MbrStrLocation, nullptr);
  }
  return *this;
}

TException::~TException() { Release(); }

TKQstructure* TException::CopyDetail(const TKQstructure* detail) {
  return detail == nullptr ? nullptr : new TKQstructure(*detail);
}

void TException::DeleteDetail(TKQstructure* detail) noexcept { delete detail; }

void TException::Release() noexcept {
  delete[] MbrStrMessage;
  delete[] MbrStrCategory;
  delete[] MbrStrLocation;
  DeleteDetail(MbrPtrDetail);
  MbrStrMessage = MbrStrCategory = MbrStrLocation = nullptr;
  MbrPtrDetail = nullptr;
}

}  // namespace mbrk
