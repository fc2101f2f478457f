// The bytes a compressed stream stands for, delivered as a stream buffer, so
// that every reader reads them as it reads a file. Internal: not installed.
#ifndef MBRK_BASE_INTERNAL_DECODINGBUFFER_H
#define MBRK_BASE_INTERNAL_DECODINGBUFFER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>

#include "Base/internal/Codec.h"

namespace mbrk {

/// Tells the compression of the input `source` is about to deliver from the
/// bytes it holds in its get area (read into it by this call when it holds
/// none), consuming nothing. An input whose first bytes are not all in the
/// get area at once is taken as plain.
Codec SniffCodec(std::streambuf& source);

/// A stream buffer that decodes what `source` delivers. It has no positions:
/// seeking fails, as on a pipe; Position() tells how far it is. When the
/// compressed stream turns out damaged, the input ends there and fault()
/// tells how; every byte handed out before came from the stream as it was
/// written unless the damage is caught only by the stream's check at its
/// end. A byte taken can always be put back (sungetc).
class DecodingBuffer : public std::streambuf {
 public:
  /// `source` stays the caller's and must outlive this buffer; `codec` is not
  /// kPlain. With `keep` the compressed bytes are kept as they are read, up
  /// to kKeptBytes of them, so that the input can be read again as it is
  /// (Kept()). Throws std::bad_alloc.
  DecodingBuffer(Codec codec, std::streambuf* source, bool keep = false);
  ~DecodingBuffer() override;
  DecodingBuffer(const DecodingBuffer&) = delete;
  DecodingBuffer& operator=(const DecodingBuffer&) = delete;

  static constexpr std::size_t kKeptBytes = 1 << 20;

  Codec codec() const noexcept { return codec_; }
  /// kNone unless the stream was found damaged.
  DecodeFault fault() const noexcept { return fault_; }
  /// Decoded bytes handed out (taken by the reader) so far.
  std::uint64_t Position() const noexcept;
  /// Decodes the rest of the stream, dropping it, to learn whether all of
  /// it is sound; returns fault().
  DecodeFault Check();
  /// The compressed bytes read from `source` so far, when they were kept and
  /// all of them could be; else null.
  const std::string* Kept() const noexcept;
  /// The first decoded bytes, up to kHeadBytes of them, as they came.
  const std::string& Head() const noexcept { return head_; }

  static constexpr std::size_t kHeadBytes = 64 * 1024;

 protected:
  int_type underflow() override;
  std::streamsize xsgetn(char* s, std::streamsize count) override;

 private:
  // Decodes into the `size` bytes at `out` until they are full, the stream
  // ends or a fault is found; returns how many bytes came.
  std::size_t Produce(char* out, std::size_t size);
  // Reads more compressed bytes; false at the end of the source.
  bool Refill();

  static constexpr std::size_t kInBlock = 128 * 1024;
  static constexpr std::size_t kOutBlock = 256 * 1024;
  static constexpr std::size_t kPutBack = 8;

  Codec codec_;
  std::streambuf* source_;
  std::unique_ptr<Decoder> decoder_;
  std::unique_ptr<char[]> in_;
  std::size_t in_begin_ = 0;
  std::size_t in_end_ = 0;
  bool source_ended_ = false;
  std::unique_ptr<char[]> out_;
  std::uint64_t handed_before_ = 0;  // decoded bytes before eback()
  DecodeFault fault_ = DecodeFault::kNone;
  bool keep_;
  bool kept_all_ = true;
  std::string kept_;
  std::string head_;
};

/// A stream buffer that delivers `prefix` and then what `source` delivers:
/// an input read again from its start after its first bytes were taken. No
/// positions. `source` must outlive it.
class PrefixedBuffer : public std::streambuf {
 public:
  PrefixedBuffer(std::string prefix, std::streambuf* source);

 protected:
  int_type underflow() override;

 private:
  std::string prefix_;
  std::streambuf* source_;
  std::unique_ptr<char[]> block_;
  bool in_prefix_ = true;
};

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_DECODINGBUFFER_H
