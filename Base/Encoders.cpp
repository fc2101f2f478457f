// The three encoders, each at its compressor's usual level and with the
// check of the content that lets a reader tell a damaged stream.
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <climits>
#include <new>

#include "Base/internal/Codec.h"
#include "Base/internal/LzmaStep.h"

namespace mbrk {

namespace {

unsigned int Slice(std::size_t size) {
  return static_cast<unsigned int>(size < UINT_MAX ? size : UINT_MAX);
}

// One gzip member with its CRC-32.
class GzipEncoder final : public Encoder {
 public:
  explicit GzipEncoder(bool fast) {
    if (deflateInit2(&z_, fast ? 1 : 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
      throw std::bad_alloc();
    }
  }
  ~GzipEncoder() override { deflateEnd(&z_); }

  bool Encode(const char* in, std::size_t in_size, char* out, std::size_t out_size, bool finish,
              std::size_t& read, std::size_t& written) override {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    z_.avail_in = Slice(in_size);
    z_.next_out = reinterpret_cast<Bytef*>(out);
    z_.avail_out = Slice(out_size);
    // Z_FINISH only with the whole input in this slice.
    const bool ending = finish && z_.avail_in == in_size;
    const int result = deflate(&z_, ending ? Z_FINISH : Z_NO_FLUSH);
    read = static_cast<std::size_t>(reinterpret_cast<const char*>(z_.next_in) - in);
    written = static_cast<std::size_t>(reinterpret_cast<char*>(z_.next_out) - out);
    if (result == Z_MEM_ERROR) throw std::bad_alloc();
    return result == Z_STREAM_END;
  }

 private:
  z_stream z_{};
};

// One xz stream with CRC-64 checks.
class XzEncoder final : public Encoder {
 public:
  explicit XzEncoder(bool fast) {
    if (lzma_easy_encoder(&s_, fast ? 1 : LZMA_PRESET_DEFAULT, LZMA_CHECK_CRC64) != LZMA_OK) {
      throw std::bad_alloc();
    }
  }
  ~XzEncoder() override { lzma_end(&s_); }

  bool Encode(const char* in, std::size_t in_size, char* out, std::size_t out_size, bool finish,
              std::size_t& read, std::size_t& written) override {
    const lzma_ret result =
        LzmaStep(s_, in, in_size, out, out_size, finish ? LZMA_FINISH : LZMA_RUN, read, written);
    if (result == LZMA_MEM_ERROR) throw std::bad_alloc();
    return result == LZMA_STREAM_END;
  }

 private:
  lzma_stream s_ = LZMA_STREAM_INIT;
};

// One zstd frame with its content checksum.
class ZstdEncoder final : public Encoder {
 public:
  explicit ZstdEncoder(bool fast) : c_(ZSTD_createCStream()) {
    if (c_ == nullptr) throw std::bad_alloc();
    ZSTD_CCtx_setParameter(c_, ZSTD_c_compressionLevel, fast ? 1 : ZSTD_CLEVEL_DEFAULT);
    ZSTD_CCtx_setParameter(c_, ZSTD_c_checksumFlag, 1);
  }
  ~ZstdEncoder() override { ZSTD_freeCStream(c_); }

  bool Encode(const char* in, std::size_t in_size, char* out, std::size_t out_size, bool finish,
              std::size_t& read, std::size_t& written) override {
    ZSTD_inBuffer source{in, in_size, 0};
    ZSTD_outBuffer target{out, out_size, 0};
    const std::size_t result =
        ZSTD_compressStream2(c_, &target, &source, finish ? ZSTD_e_end : ZSTD_e_continue);
    read = source.pos;
    written = target.pos;
    if (ZSTD_isError(result)) throw std::bad_alloc();  // only memory can fail here
    return finish && result == 0;
  }

 private:
  ZSTD_CStream* c_;
};

}  // namespace

std::unique_ptr<Encoder> Encoder::Make(Codec codec, bool fast) {
  switch (codec) {
    case Codec::kGzip: return std::make_unique<GzipEncoder>(fast);
    case Codec::kXz: return std::make_unique<XzEncoder>(fast);
    case Codec::kZstd: return std::make_unique<ZstdEncoder>(fast);
    case Codec::kPlain: break;
  }
  return nullptr;
}

std::string EncodeWhole(Codec codec, const std::string& text, bool fast) {
  const std::unique_ptr<Encoder> encoder = Encoder::Make(codec, fast);
  std::string out;
  std::size_t at = 0;
  for (bool done = false; !done;) {
    char block[1 << 14];
    std::size_t read = 0, written = 0;
    done = encoder->Encode(text.data() + at, text.size() - at, block, sizeof block, true, read,
                           written);
    at += read;
    out.append(block, written);
  }
  return out;
}

}  // namespace mbrk
