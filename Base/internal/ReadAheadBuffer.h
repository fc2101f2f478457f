// Reading ahead in a stream whose bytes come without positions (a pipe, a
// terminal, any stream buffer that cannot seek): a reader that must know
// whether the input still holds a given number of bytes learns it by reading
// them, and keeps them for whoever reads on.
#ifndef MBRK_BASE_INTERNAL_READAHEADBUFFER_H
#define MBRK_BASE_INTERNAL_READAHEADBUFFER_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <streambuf>

#include "Base/internal/Deleters.h"

namespace mbrk {

/// A stream buffer that reads another, `source`, in blocks, and can read ahead
/// of its reader as far as asked. It has no positions of its own (seeking
/// fails, as on the source). Bytes read ahead wait in memory until they are
/// read; once they have been, the buffer shrinks back to one block. A byte
/// taken can always be put back (sungetc), also right after a refill.
class ReadAheadBuffer : public std::streambuf {
 public:
  /// `source` stays the caller's and must outlive this buffer.
  explicit ReadAheadBuffer(std::streambuf* source) noexcept : source_(source) {}
  ReadAheadBuffer(const ReadAheadBuffer&) = delete;
  ReadAheadBuffer& operator=(const ReadAheadBuffer&) = delete;

  /// Reads ahead until `count` bytes wait to be read or the source has ended,
  /// and tells whether `count` bytes wait. What is held grows with what the
  /// source delivers (never beyond twice that), not with `count`. Throws
  /// std::bad_alloc when the bytes cannot be held.
  bool Holds(std::uint64_t count);

  /// Tells whether the bytes waiting and those the source still delivers
  /// number at least `count`, reading and dropping them in blocks until they
  /// do or the source ends: bounded memory, whatever `count` is. Everything
  /// counted is gone: what was read is lost to the reader.
  bool Delivers(std::uint64_t count);

 protected:
  int_type underflow() override;

 private:
  // Moves the bytes waiting, with up to kPutBack bytes before them, to the
  // front of the storage.
  void Compact();
  // Makes the storage `capacity` bytes (up or down), keeping what it holds.
  void Resize(std::size_t capacity);
  // Reads up to `count` more bytes at the end of those waiting, within the
  // capacity; returns how many came.
  std::size_t ReadMore(std::size_t count);

  static constexpr std::size_t kBlock = 64 * 1024;
  static constexpr std::size_t kPutBack = 8;

  std::streambuf* source_;
  std::unique_ptr<char, FreeMemory> storage_;
  std::size_t capacity_ = 0;
};

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_READAHEADBUFFER_H
