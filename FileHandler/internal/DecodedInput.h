// An input read as the text it stands for: a file compressed with gzip, xz or
// zstd is decoded on the way to the reader, told by its first bytes.
//
// Those first bytes are separator bytes of the format too, so a plain file
// may begin with them. The rule: where the stream does not decode, the input
// is read again as it is, from its start; only if that fails too is it a
// damaged compressed stream, reported as such (ReadDecoded).
#ifndef MBRK_FILEHANDLER_INTERNAL_DECODEDINPUT_H
#define MBRK_FILEHANDLER_INTERNAL_DECODEDINPUT_H

#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "Base/internal/Codec.h"
#include "Base/internal/DecodingBuffer.h"
#include "Base/internal/ReadAheadBuffer.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/ReaderError.h"

namespace mbrk {

/// `raw` as the reader reads it: itself when its first bytes name no
/// compression, else decoded, through a read-ahead buffer (the decoded
/// stream has no positions, as a pipe has none).
class DecodedInput {
 public:
  /// Looks at the first bytes of `raw`, which stays the caller's and must
  /// outlive this object.
  explicit DecodedInput(std::istream& raw);
  DecodedInput(const DecodedInput&) = delete;
  DecodedInput& operator=(const DecodedInput&) = delete;

  std::istream& stream() noexcept { return decoded_.rdbuf() != nullptr ? decoded_ : raw_; }
  /// The compression being decoded; kPlain once the input is read as it is.
  Codec codec() const noexcept { return decoding_ != nullptr ? decoding_->codec() : Codec::kPlain; }
  /// The decoded bytes the reader has taken (not those read ahead).
  std::uint64_t Consumed() const noexcept;
  /// How the compressed stream was found: after a read that ended well,
  /// kNone unless damage was met; with `rest`, the rest is decoded too.
  DecodeFault Fault(bool rest);
  /// Goes back to the start of `raw` to read it as it is: by a seek where
  /// `raw` has positions, else from the compressed bytes kept. False when
  /// neither can be.
  bool ReadAsPlain();
  /// How many bytes the damaged stream decoded to, once ReadAsPlain was
  /// called on account of it.
  std::uint64_t DamagedLength() const noexcept { return damaged_length_; }
  /// The compression of the damaged stream, once ReadAsPlain was called on
  /// account of it; else kPlain.
  Codec damaged() const noexcept { return damaged_; }
  /// Whether the damaged stream was compressed at all: its magic number has
  /// bytes no plain file of the format can begin with (xz, zstd), or its text
  /// began as a file of the format does, with a start tag (after
  /// separators, comments and a format version). Text made up by decoding
  /// what was never compressed does not.
  bool DamagedWasCompressed() const;

 private:
  std::istream& raw_;
  std::streamoff start_;  // where `raw` stood, or -1
  std::unique_ptr<DecodingBuffer> decoding_;
  std::unique_ptr<ReadAheadBuffer> ahead_;
  std::unique_ptr<PrefixedBuffer> replay_;
  std::istream decoded_;
  std::uint64_t damaged_length_ = 0;
  Codec damaged_ = Codec::kPlain;
  std::string damaged_head_;
};

/// Throws FileTools::Error, naming `in`, for a damaged stream of `codec`.
[[noreturn]] void FailDamaged(std::istream& in, Codec codec, DecodeFault fault);

/// Runs `read(stream)` on `input`, with the rule above: a read of decoded
/// text that ends well on a sound stream, and a FileTools::Error met in a
/// sound stream, stand; when the stream is damaged, `restart()` is called
/// (to drop what the first read made) and `read` runs on the input read as
/// it is; if that throws FileTools::Error too, FailDamaged, unless the
/// damaged stream never decoded to text of the format: then the file was
/// never compressed, and the error of reading it as it is stands (a plain
/// file that begins like a compressed one fails as it always did).
template <typename Read, typename Restart>
auto ReadDecoded(DecodedInput& input, Read read, Restart restart)
    -> decltype(read(input.stream())) {
  if (input.codec() == Codec::kPlain) return read(input.stream());
  const Codec codec = input.codec();
  DecodeFault fault = DecodeFault::kNone;
  try {
    auto result = read(input.stream());
    fault = input.Fault(false);
    if (fault == DecodeFault::kNone) return result;
  } catch (FileTools::Error& error) {
    fault = input.Fault(true);
    if (fault == DecodeFault::kNone) throw;
    delete[] error.MbrStrMessage;
  }
  restart();
  if (!input.ReadAsPlain()) FailDamaged(input.stream(), codec, fault);
  try {
    return read(input.stream());
  } catch (FileTools::Error& error) {
    if (!input.DamagedWasCompressed()) throw;
    delete[] error.MbrStrMessage;
    FailDamaged(input.stream(), codec, fault);
  }
}

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_DECODEDINPUT_H
