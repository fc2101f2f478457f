// Compressed byte streams: gzip, xz and zstd, told apart by their first
// bytes, decoded and encoded a block at a time. Internal: not installed.
#ifndef MBRK_BASE_INTERNAL_CODEC_H
#define MBRK_BASE_INTERNAL_CODEC_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mbrk {

/// How a byte stream is stored.
enum class Codec : unsigned char { kPlain, kGzip, kXz, kZstd };

/// "gzip", "xz", "zstd", or "plain".
const char* CodecName(Codec codec) noexcept;

/// The most bytes CodecOf looks at.
inline constexpr std::size_t kMagicBytes = 6;

/// The compression whose magic number the `size` bytes at `bytes` begin
/// with: the first bytes of an input, at least kMagicBytes of them unless the
/// input is shorter. kPlain for none (a magic number cut short is none).
Codec CodecOf(const char* bytes, std::size_t size) noexcept;

/// The compression a file name asks for by its suffix: ".gz", ".xz", ".zst";
/// kPlain for any other name.
Codec CodecOfName(const std::string& name) noexcept;

/// What went wrong in a compressed stream.
enum class DecodeFault : unsigned char {
  kNone,
  kTruncated,  // the input ends inside the stream
  kCorrupt,    // bytes the compression cannot have written, or a failed check
};

/// The reader's message for a damaged stream, e.g. "Damaged gzip stream
/// (truncated)".
std::string DamagedStreamMessage(Codec codec, DecodeFault fault);

/// The decoder of one compression: compressed bytes in, the bytes they stand
/// for out, in pieces of any size. Several streams one after the other (gzip
/// members, xz streams, zstd frames) decode as the concatenation of their
/// bytes, as the compressors' own tools decode them.
class Decoder {
 public:
  /// A decoder for `codec` (not kPlain). Throws std::bad_alloc.
  static std::unique_ptr<Decoder> Make(Codec codec);

  virtual ~Decoder() = default;

  /// Decodes from the `in_size` bytes at `in` into the `out_size` bytes at
  /// `out`, telling how many of each it took (`read`) and gave (`written`).
  /// `last` says that no input follows `in`. Returns kCorrupt for a stream
  /// that cannot decode, else kNone; a stream cut short is seen by the caller
  /// as no progress with `last` set and Finished() false. Throws
  /// std::bad_alloc when the decoder runs out of memory.
  virtual DecodeFault Decode(const char* in, std::size_t in_size, char* out, std::size_t out_size,
                             bool last, std::size_t& read, std::size_t& written) = 0;

  /// Whether the input taken so far ends where a stream ends, so that the
  /// input may end here.
  virtual bool Finished() const noexcept = 0;
};

/// The encoder of one compression: bytes in, one compressed stream out.
class Encoder {
 public:
  /// An encoder for `codec` (not kPlain) at the compressor's usual level
  /// (gzip 6, xz 6, zstd 3), or with `fast` at its fastest (1 each), with the
  /// stream's check of the content switched on. Throws std::bad_alloc.
  static std::unique_ptr<Encoder> Make(Codec codec, bool fast = false);

  virtual ~Encoder() = default;

  /// Compresses the `in_size` bytes at `in` into the `out_size` bytes at
  /// `out` (at least 64 bytes), telling how many it took and gave; with
  /// `finish` it also ends the stream. Returns whether the stream is complete
  /// (only ever with `finish`): until then, call again with the input not
  /// yet taken and fresh room. Throws std::bad_alloc.
  virtual bool Encode(const char* in, std::size_t in_size, char* out, std::size_t out_size,
                      bool finish, std::size_t& read, std::size_t& written) = 0;
};

/// The whole of `text` as one compressed stream of `codec` (not kPlain), at
/// the level Encoder::Make takes with `fast`. Throws std::bad_alloc.
std::string EncodeWhole(Codec codec, const std::string& text, bool fast = false);

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_CODEC_H
