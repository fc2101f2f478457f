#include "DataObject/Exceptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "DataObject/Assert.h"

namespace mbrk {

void AssertionFailed(const char* condition, const char* file, int line) noexcept {
  std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", condition, file, line);
  std::fflush(stderr);
  std::abort();
}

namespace {

// A new[] copy of `text`, or null for null.
char* CopyText(const char* text) {
  if (text == nullptr) return nullptr;
  const std::size_t size = std::strlen(text) + 1;
  char* copy = new char[size];
  std::memcpy(copy, text, size);
  return copy;
}

}  // namespace

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

void TException::Release() noexcept {
  delete[] MbrStrMessage;
  delete[] MbrStrCategory;
  delete[] MbrStrLocation;
  DeleteDetail(MbrPtrDetail);
  MbrStrMessage = MbrStrCategory = MbrStrLocation = nullptr;
  MbrPtrDetail = nullptr;
}

}  // namespace mbrk
