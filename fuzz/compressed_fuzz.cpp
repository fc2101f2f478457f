// Compressed input against the text it stands for.
//
// The first byte chooses what the rest is. 1 to 3: a text, compressed here
// with gzip, xz or zstd; reading the stream (on one thread, and decoded on
// one while others parse in chunks as small as the first byte asks) must
// give what reading the text gives: the same values bit for bit, or the same
// message at the same line, column and offset (a text that begins like a
// compressed stream is left to mode 0). 0: bytes as they are, most
// often a compressed stream the fuzzer has damaged: a stream that decodes
// whole reads as its text; one that does not reads as the bytes themselves
// read as plain text, and when that fails too the error is plain reading's
// or the damaged stream named by its compression, nothing else.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "Base/internal/Codec.h"
#include "Base/internal/DecodingBuffer.h"
#include "Dataset/Dataset.h"
#include "Dataset/internal/ParallelRead.h"
#include "fuzz/DatasetOutcome.h"
#include "fuzz/FuzzSupport.h"

namespace {

using mbrk::Codec;

std::string Outcome(const std::string& bytes, const mbrk::ParallelRowOptions& options) {
  return mbrk::fuzz::ReadOutcome([&](std::string& out) {
    std::istringstream in(bytes);
    mbrk::fuzz::AppendDataset(out, mbrk::ReadDatasetWith(in, options));
  });
}

// The whole text a stream decodes to, or false when it is damaged.
bool Decode(Codec codec, const std::string& bytes, std::string& text) {
  std::stringbuf source(bytes);
  mbrk::DecodingBuffer decoding(codec, &source);
  for (int c = decoding.sbumpc(); c != std::char_traits<char>::eof(); c = decoding.sbumpc()) {
    text.push_back(static_cast<char>(c));
  }
  return decoding.fault() == mbrk::DecodeFault::kNone;
}

bool Refused(const std::string& outcome) { return outcome.rfind("error ", 0) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const Codec kCodecs[] = {Codec::kGzip, Codec::kXz, Codec::kZstd};
  mbrk::ParallelRowOptions alone;
  mbrk::ParallelRowOptions parallel;
  parallel.threads = 2 + (data[0] >> 7);
  parallel.chunk_bytes = 1 + ((data[0] >> 2) & 15U);
  parallel.piece_bytes = parallel.chunk_bytes * 3;
  parallel.least_bytes = 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const unsigned mode = data[0] & 3U;

  if (mode != 0) {
    // A text that itself begins like a compressed stream is decoded once,
    // not twice: its own decoding is mode 0's.
    if (mbrk::CodecOf(rest.data(), rest.size()) != Codec::kPlain) return 0;
    const std::string plain = Outcome(rest, alone);
    // The fastest level: each compression's decoder sees the same format.
    const std::string packed = mbrk::EncodeWhole(kCodecs[mode - 1], rest, true);
    MBRK_FUZZ_CHECK(Outcome(packed, alone) == plain);
    MBRK_FUZZ_CHECK(Outcome(packed, parallel) == plain);
    return 0;
  }
  const std::string got = Outcome(rest, alone);
  MBRK_FUZZ_CHECK(Outcome(rest, parallel) == got);
  const Codec codec = mbrk::CodecOf(rest.data(), rest.size());
  if (codec == Codec::kPlain) return 0;
  std::string text;
  if (Decode(codec, rest, text)) {
    MBRK_FUZZ_CHECK(got == Outcome(text, alone));
    return 0;
  }
  // Read as plain text: what the same bytes give without a magic number
  // (the first byte made a blank keeps lines, columns and offsets).
  std::string unmarked = rest;
  unmarked[0] = ' ';
  const std::string plain = Outcome(unmarked, alone);
  if (!Refused(plain) || got == plain) {
    MBRK_FUZZ_CHECK(got == plain);
    return 0;
  }
  MBRK_FUZZ_CHECK(got.find(std::string(": Damaged ") + mbrk::CodecName(codec) + " stream (") !=
                  std::string::npos);
  return 0;
}
