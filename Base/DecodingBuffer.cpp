#include "Base/internal/DecodingBuffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "Base/internal/ByteReader.h"

namespace mbrk {

Codec SniffCodec(std::streambuf& source) {
  if (source.sgetc() == std::streambuf::traits_type::eof()) return Codec::kPlain;
  const char* const next = GetArea::Next(&source);
  return CodecOf(next, static_cast<std::size_t>(GetArea::End(&source) - next));
}

DecodingBuffer::DecodingBuffer(Codec codec, std::streambuf* source, bool keep)
    : codec_(codec),
      source_(source),
      decoder_(Decoder::Make(codec)),
      in_(new char[kInBlock]),
      out_(new char[kPutBack + kOutBlock]),
      keep_(keep) {}

DecodingBuffer::~DecodingBuffer() = default;

std::uint64_t DecodingBuffer::Position() const noexcept {
  return handed_before_ + static_cast<std::uint64_t>(gptr() - eback());
}

const std::string* DecodingBuffer::Kept() const noexcept {
  return keep_ && kept_all_ ? &kept_ : nullptr;
}

bool DecodingBuffer::Refill() {
  in_begin_ = in_end_ = 0;
  const std::streamsize got = source_->sgetn(in_.get(), static_cast<std::streamsize>(kInBlock));
  if (got <= 0) {
    source_ended_ = true;
    return false;
  }
  in_end_ = static_cast<std::size_t>(got);
  if (keep_ && kept_all_) {
    if (kept_.size() + in_end_ > kKeptBytes) {
      kept_all_ = false;
      std::string().swap(kept_);
    } else {
      kept_.append(in_.get(), in_end_);
    }
  }
  return true;
}

std::size_t DecodingBuffer::Produce(char* out, std::size_t size) {
  std::size_t total = 0;
  while (total < size && fault_ == DecodeFault::kNone) {
    if (in_begin_ == in_end_ && !source_ended_) Refill();
    std::size_t read = 0, written = 0;
    fault_ = decoder_->Decode(in_.get() + in_begin_, in_end_ - in_begin_, out + total, size - total,
                              source_ended_, read, written);
    in_begin_ += read;
    if (head_.size() < kHeadBytes) {
      head_.append(out + total, std::min(written, kHeadBytes - head_.size()));
    }
    total += written;
    if (fault_ != DecodeFault::kNone || read != 0 || written != 0) continue;
    if (in_begin_ != in_end_) {
      // Input and room, and nothing taken: the stream cannot go on.
      fault_ = DecodeFault::kCorrupt;
    } else if (source_ended_) {
      if (!decoder_->Finished()) fault_ = DecodeFault::kTruncated;
      break;
    }
  }
  return total;
}

DecodingBuffer::int_type DecodingBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  // The last bytes taken stay in front, to be put back.
  const auto taken = static_cast<std::size_t>(gptr() - eback());
  const std::size_t keep = std::min(kPutBack, taken);
  char* const front = out_.get() + kPutBack;
  if (keep != 0) std::memmove(front - keep, gptr() - keep, keep);
  handed_before_ += taken - keep;
  const std::size_t got = Produce(front, kOutBlock);
  setg(front - keep, front, front + got);
  return got == 0 ? traits_type::eof() : traits_type::to_int_type(*gptr());
}

std::streamsize DecodingBuffer::xsgetn(char* s, std::streamsize count) {
  std::streamsize done = 0;
  while (done < count) {
    if (gptr() == egptr()) {
      const auto left = static_cast<std::size_t>(count - done);
      if (left < kOutBlock) {
        if (underflow() == traits_type::eof()) break;
      } else {
        // A large read goes straight into the caller's memory; its last bytes
        // are copied in front, to be put back.
        const std::uint64_t before = Position();
        const std::size_t got = Produce(s + done, left);
        if (got == 0) break;
        const std::size_t keep = std::min(kPutBack, got);
        char* const front = out_.get() + kPutBack;
        std::memcpy(front - keep, s + done + got - keep, keep);
        setg(front - keep, front, front);
        handed_before_ = before + got - keep;
        done += static_cast<std::streamsize>(got);
        continue;
      }
    }
    const std::streamsize n = std::min<std::streamsize>(egptr() - gptr(), count - done);
    std::memcpy(s + done, gptr(), static_cast<std::size_t>(n));
    gbump(static_cast<int>(n));
    done += n;
  }
  return done;
}

DecodeFault DecodingBuffer::Check() {
  while (underflow() != traits_type::eof()) setg(eback(), egptr(), egptr());
  return fault_;
}

PrefixedBuffer::PrefixedBuffer(std::string prefix, std::streambuf* source)
    : prefix_(std::move(prefix)), source_(source) {}

PrefixedBuffer::int_type PrefixedBuffer::underflow() {
  constexpr std::size_t kPutBack = 8, kBlock = 64 * 1024;
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (in_prefix_) {
    in_prefix_ = false;
    if (!prefix_.empty()) {
      setg(prefix_.data(), prefix_.data(), prefix_.data() + prefix_.size());
      return traits_type::to_int_type(*gptr());
    }
  }
  if (block_ == nullptr) block_.reset(new char[kPutBack + kBlock]);
  const std::size_t keep = std::min(kPutBack, static_cast<std::size_t>(gptr() - eback()));
  char* const front = block_.get() + kPutBack;
  if (keep != 0) std::memmove(front - keep, gptr() - keep, keep);
  const std::streamsize got = source_->sgetn(front, static_cast<std::streamsize>(kBlock));
  setg(front - keep, front, front + std::max<std::streamsize>(got, 0));
  return got <= 0 ? traits_type::eof() : traits_type::to_int_type(*gptr());
}

}  // namespace mbrk
