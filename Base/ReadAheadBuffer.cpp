#include "Base/internal/ReadAheadBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace mbrk {

void ReadAheadBuffer::Resize(std::size_t capacity) {
  const std::ptrdiff_t next = gptr() - eback();
  const std::ptrdiff_t end = egptr() - eback();
  // realloc: a large block grows or shrinks in place or by moving pages, not
  // by copying its bytes.
  void* const resized = std::realloc(storage_.get(), capacity);
  if (resized == nullptr) throw std::bad_alloc();
  static_cast<void>(storage_.release());  // realloc has taken the old block over
  storage_.reset(static_cast<char*>(resized));
  char* const base = storage_.get();
  setg(base, base + next, base + end);
  capacity_ = capacity;
}

void ReadAheadBuffer::Compact() {
  char* const base = storage_.get();
  if (base == nullptr) return;
  const std::size_t keep = std::min<std::size_t>(kPutBack, static_cast<std::size_t>(gptr() - base));
  char* const from = gptr() - keep;
  const auto length = static_cast<std::size_t>(egptr() - from);
  if (from != base) std::memmove(base, from, length);
  setg(base, base + keep, base + length);
}

std::size_t ReadAheadBuffer::ReadMore(std::size_t count) {
  const auto used = static_cast<std::size_t>(egptr() - storage_.get());
  const std::size_t wanted = std::min(count, capacity_ - used);
  if (wanted == 0) return 0;
  const std::streamsize got = source_->sgetn(egptr(), static_cast<std::streamsize>(wanted));
  if (got <= 0) return 0;
  setg(eback(), gptr(), egptr() + got);
  return static_cast<std::size_t>(got);
}

ReadAheadBuffer::int_type ReadAheadBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  Compact();
  // The bytes read ahead have all been read: back to one block.
  if (capacity_ != kBlock) Resize(kBlock);
  if (ReadMore(capacity_) == 0) return traits_type::eof();
  return traits_type::to_int_type(*gptr());
}

bool ReadAheadBuffer::Holds(std::uint64_t count) {
  Compact();
  for (;;) {
    const auto waiting = static_cast<std::uint64_t>(egptr() - gptr());
    if (waiting >= count) return true;
    const auto used = static_cast<std::size_t>(egptr() - storage_.get());
    if (used == capacity_) {
      // Doubling, and never more: the storage stays within twice what came.
      const std::uint64_t needed = used + (count - waiting);
      const std::size_t doubled = capacity_ < kBlock ? kBlock : 2 * capacity_;
      Resize(static_cast<std::size_t>(std::min<std::uint64_t>(needed, doubled)));
    }
    if (ReadMore(static_cast<std::size_t>(std::min<std::uint64_t>(count - waiting, capacity_))) ==
        0) {
      return false;
    }
  }
}

bool ReadAheadBuffer::Delivers(std::uint64_t count) {
  std::uint64_t seen = static_cast<std::uint64_t>(egptr() - gptr());
  if (capacity_ < kBlock) Resize(kBlock);
  char* const base = storage_.get();
  setg(base, base, base);
  while (seen < count) {
    const std::streamsize got = source_->sgetn(base, static_cast<std::streamsize>(kBlock));
    if (got <= 0) return false;
    seen += static_cast<std::uint64_t>(got);
  }
  return true;
}

void ReadAheadBuffer::GiveBack(const char* bytes, std::size_t size) {
  if (size == 0) return;
  Compact();
  const auto keep = static_cast<std::size_t>(gptr() - eback());
  const auto waiting = static_cast<std::size_t>(egptr() - gptr());
  if (capacity_ < keep + size + waiting) Resize(keep + size + waiting);
  char* const next = storage_.get() + keep;
  std::memmove(next + size, next, waiting);
  std::memcpy(next, bytes, size);
  setg(storage_.get(), next, next + size + waiting);
}

}  // namespace mbrk
