// The three decoders, and what tells the compressions apart.
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <climits>
#include <cstring>
#include <new>

#include "Base/internal/Codec.h"
#include "Base/internal/LzmaStep.h"

namespace mbrk {

namespace {

// zlib counts in unsigned int: pieces are handed over in slices it can count.
unsigned int Slice(std::size_t size) {
  return static_cast<unsigned int>(size < UINT_MAX ? size : UINT_MAX);
}

bool Begins(const char* bytes, std::size_t size, const char* magic, std::size_t length) {
  return size >= length && std::memcmp(bytes, magic, length) == 0;
}

// gzip members one after the other; after a member's end only another member
// may follow.
class GzipDecoder final : public Decoder {
 public:
  GzipDecoder() {
    // 16 + 15: a gzip header and trailer around the largest window.
    if (inflateInit2(&z_, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
  }
  ~GzipDecoder() override { inflateEnd(&z_); }

  DecodeFault Decode(const char* in, std::size_t in_size, char* out, std::size_t out_size,
                     bool /*last*/, std::size_t& read, std::size_t& written) override {
    read = written = 0;
    if (member_ended_ && in_size != 0) {
      // Another member must begin here: zlib checks its header.
      if (inflateReset(&z_) != Z_OK) return DecodeFault::kCorrupt;
      member_ended_ = false;
    }
    if (member_ended_) return DecodeFault::kNone;
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    z_.avail_in = Slice(in_size);
    z_.next_out = reinterpret_cast<Bytef*>(out);
    z_.avail_out = Slice(out_size);
    const int result = inflate(&z_, Z_NO_FLUSH);
    read = static_cast<std::size_t>(reinterpret_cast<const char*>(z_.next_in) - in);
    written = static_cast<std::size_t>(reinterpret_cast<char*>(z_.next_out) - out);
    switch (result) {
      case Z_OK:
      case Z_BUF_ERROR:  // no room or no input: no progress, no fault
        return DecodeFault::kNone;
      case Z_STREAM_END: member_ended_ = true; return DecodeFault::kNone;
      case Z_MEM_ERROR: throw std::bad_alloc();
      default:  // Z_DATA_ERROR, Z_NEED_DICT, Z_STREAM_ERROR
        return DecodeFault::kCorrupt;
    }
  }

  bool Finished() const noexcept override { return member_ended_; }

 private:
  z_stream z_{};
  bool member_ended_ = false;
};

// xz streams one after the other, with the padding the format allows between
// them; liblzma itself tells where the input may end.
class XzDecoder final : public Decoder {
 public:
  XzDecoder() {
    if (lzma_stream_decoder(&s_, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) {
      throw std::bad_alloc();
    }
  }
  ~XzDecoder() override { lzma_end(&s_); }

  DecodeFault Decode(const char* in, std::size_t in_size, char* out, std::size_t out_size,
                     bool last, std::size_t& read, std::size_t& written) override {
    read = written = 0;
    if (finished_) return in_size == 0 ? DecodeFault::kNone : DecodeFault::kCorrupt;
    // Only once the input has ended can liblzma tell a complete stream from
    // one cut short.
    const lzma_ret result =
        LzmaStep(s_, in, in_size, out, out_size, last ? LZMA_FINISH : LZMA_RUN, read, written);
    switch (result) {
      case LZMA_OK:
      case LZMA_BUF_ERROR:  // no progress: cut short when `last`
        return DecodeFault::kNone;
      case LZMA_STREAM_END: finished_ = true; return DecodeFault::kNone;
      case LZMA_MEM_ERROR: throw std::bad_alloc();
      default:  // LZMA_DATA_ERROR, LZMA_FORMAT_ERROR, LZMA_OPTIONS_ERROR, ...
        return DecodeFault::kCorrupt;
    }
  }

  bool Finished() const noexcept override { return finished_; }

 private:
  lzma_stream s_ = LZMA_STREAM_INIT;
  bool finished_ = false;
};

// zstd frames one after the other, skippable frames among them.
class ZstdDecoder final : public Decoder {
 public:
  ZstdDecoder() : d_(ZSTD_createDStream()) {
    if (d_ == nullptr) throw std::bad_alloc();
  }
  ~ZstdDecoder() override { ZSTD_freeDStream(d_); }

  DecodeFault Decode(const char* in, std::size_t in_size, char* out, std::size_t out_size,
                     bool /*last*/, std::size_t& read, std::size_t& written) override {
    ZSTD_inBuffer source{in, in_size, 0};
    ZSTD_outBuffer target{out, out_size, 0};
    const std::size_t result = ZSTD_decompressStream(d_, &target, &source);
    read = source.pos;
    written = target.pos;
    if (ZSTD_isError(result)) {
      if (ZSTD_getErrorCode(result) == ZSTD_error_memory_allocation) throw std::bad_alloc();
      return DecodeFault::kCorrupt;
    }
    // 0: a frame is complete and all of it handed out. A call that takes and
    // gives nothing changes nothing.
    if (read != 0 || written != 0) frame_ended_ = result == 0;
    return DecodeFault::kNone;
  }

  bool Finished() const noexcept override { return frame_ended_; }

 private:
  ZSTD_DStream* d_;
  bool frame_ended_ = false;
};

}  // namespace

const char* CodecName(Codec codec) noexcept {
  switch (codec) {
    case Codec::kGzip: return "gzip";
    case Codec::kXz: return "xz";
    case Codec::kZstd: return "zstd";
    case Codec::kPlain: break;
  }
  return "plain";
}

Codec CodecOf(const char* bytes, std::size_t size) noexcept {
  if (Begins(bytes, size, "\x1f\x8b", 2)) return Codec::kGzip;
  if (Begins(bytes, size,
             "\xfd"
             "7zXZ\0",
             6))
    return Codec::kXz;
  if (Begins(bytes, size, "\x28\xb5\x2f\xfd", 4)) return Codec::kZstd;
  // A skippable frame may come first: 0x184D2A50 to 0x184D2A5F, little-endian.
  if (size >= 4 && (static_cast<unsigned char>(bytes[0]) & 0xF0) == 0x50 &&
      Begins(bytes + 1, size - 1, "\x2a\x4d\x18", 3)) {
    return Codec::kZstd;
  }
  return Codec::kPlain;
}

Codec CodecOfName(const std::string& name) noexcept {
  const auto ends = [&name](const char* suffix) {
    const std::size_t length = std::strlen(suffix);
    return name.size() > length && name.compare(name.size() - length, length, suffix) == 0;
  };
  if (ends(".gz")) return Codec::kGzip;
  if (ends(".xz")) return Codec::kXz;
  if (ends(".zst")) return Codec::kZstd;
  return Codec::kPlain;
}

std::string DamagedStreamMessage(Codec codec, DecodeFault fault) {
  return std::string("Damaged ") + CodecName(codec) + " stream" +
         (fault == DecodeFault::kTruncated ? " (truncated)" : " (corrupt data)");
}

std::unique_ptr<Decoder> Decoder::Make(Codec codec) {
  switch (codec) {
    case Codec::kGzip: return std::make_unique<GzipDecoder>();
    case Codec::kXz: return std::make_unique<XzDecoder>();
    case Codec::kZstd: return std::make_unique<ZstdDecoder>();
    case Codec::kPlain: break;
  }
  return nullptr;
}

}  // namespace mbrk
