#include "FileHandler/internal/DecodedInput.h"

#include <sstream>
#include <string>

#include "Base/internal/ByteReader.h"
#include "FileHandler/internal/ElementTexts.h"

namespace mbrk {

namespace {

std::streamoff TellRaw(std::istream& raw) {
  std::streambuf* const sb = raw.rdbuf();
  return sb != nullptr ? std::streamoff(sb->pubseekoff(0, std::ios::cur, std::ios::in)) : -1;
}

}  // namespace

DecodedInput::DecodedInput(std::istream& raw) : raw_(raw), start_(TellRaw(raw)), decoded_(nullptr) {
  std::streambuf* const sb = raw.rdbuf();
  if (sb == nullptr || !raw.good()) return;
  const Codec codec = SniffCodec(*sb);
  if (codec == Codec::kPlain) return;
  // Without positions the input can be read again only from what was kept.
  decoding_ = std::make_unique<DecodingBuffer>(codec, sb, start_ < 0);
  ahead_ = std::make_unique<ReadAheadBuffer>(decoding_.get());
  decoded_.rdbuf(ahead_.get());
}

std::uint64_t DecodedInput::Consumed() const noexcept {
  if (decoding_ == nullptr) return 0;
  const auto waiting =
      static_cast<std::uint64_t>(GetArea::End(ahead_.get()) - GetArea::Next(ahead_.get()));
  return decoding_->Position() - waiting;
}

DecodeFault DecodedInput::Fault(bool rest) {
  if (decoding_ == nullptr) return DecodeFault::kNone;
  return rest ? decoding_->Check() : decoding_->fault();
}

bool DecodedInput::ReadAsPlain() {
  if (decoding_ == nullptr) return true;
  damaged_length_ = decoding_->Position();
  damaged_ = decoding_->codec();
  damaged_head_ = decoding_->Head();
  std::streambuf* const sb = raw_.rdbuf();
  raw_.clear();
  if (start_ >= 0) {
    if (std::streamoff(sb->pubseekpos(start_, std::ios::in)) != start_) return false;
    decoded_.rdbuf(nullptr);
  } else if (const std::string* kept = decoding_->Kept()) {
    replay_ = std::make_unique<PrefixedBuffer>(*kept, sb);
    decoded_.rdbuf(replay_.get());
  } else {
    return false;
  }
  ahead_.reset();
  decoding_.reset();
  return true;
}

bool DecodedInput::DamagedWasCompressed() const {
  // Only gzip's magic number is made of separators alone.
  if (damaged_ != Codec::kGzip) return true;
  std::istringstream head(damaged_head_);
  FileTools tools;
  try {
    const TElement first = tools.ReadElement(nullptr, head, false);
    const ElementTexts texts(first);
    return first.MbrLngKind == ekStart;
  } catch (FileTools::Error& error) {
    delete[] error.MbrStrMessage;
    return false;
  }
}

void FailDamaged(std::istream& in, Codec codec, DecodeFault fault) {
  Fail(in, DamagedStreamMessage(codec, fault));
}

}  // namespace mbrk
