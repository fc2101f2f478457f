// Compressed streams: each compression round-trips through its encoder and
// the decoding buffer, several streams read as one, and a damaged stream ends
// the input with the fault named, never with bytes it does not hold.
#include "Base/internal/Codec.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "Base/internal/DecodingBuffer.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

const Codec kCodecs[] = {Codec::kGzip, Codec::kXz, Codec::kZstd};

std::string Compress(Codec codec, const std::string& text) { return test::Compressed(codec, text); }

struct Decoded {
  std::string text;
  DecodeFault fault;
};

// Reads through a DecodingBuffer byte by byte and in large pieces, which
// must agree.
Decoded Decode(Codec codec, const std::string& bytes) {
  std::stringbuf source(bytes);
  DecodingBuffer one(codec, &source);
  std::string text;
  for (int c = one.sbumpc(); c != std::char_traits<char>::eof(); c = one.sbumpc()) {
    text.push_back(static_cast<char>(c));
  }
  std::stringbuf again(bytes);
  DecodingBuffer large(codec, &again);
  std::string pieces(text.size() + 600000, '\0');
  pieces.resize(static_cast<std::size_t>(
      large.sgetn(pieces.data(), static_cast<std::streamsize>(pieces.size()))));
  EXPECT_EQ(text, pieces);
  EXPECT_EQ(one.fault(), large.fault());
  EXPECT_EQ(text.size(), one.Position());
  return {text, one.fault()};
}

std::string Sample(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) text += std::to_string(i * 7919 % 100003) + " ";
  text.resize(size);
  return text;
}

TEST(Codec, TellsCompressionsByTheirFirstBytes) {
  const struct {
    std::string bytes;
    Codec codec;
  } kCases[] = {
      {"\x1f\x8b\x08", Codec::kGzip},
      {std::string("\xfd"
                   "7zXZ\0x",
                   7),
       Codec::kXz},
      {"\x28\xb5\x2f\xfd", Codec::kZstd},
      {"\x5a\x2a\x4d\x18", Codec::kZstd},
      {"\x1f", Codec::kPlain},
      {"\xfd"
       "7zXZ",
       Codec::kPlain},
      {"\x1f\x8a\x08", Codec::kPlain},
      {"[DataSet]", Codec::kPlain},
      {"\x60\x2a\x4d\x18", Codec::kPlain},
      {"", Codec::kPlain},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.codec, CodecOf(c.bytes.data(), c.bytes.size())) << c.bytes;
  }
  for (const Codec codec : kCodecs) {
    const std::string bytes = Compress(codec, "x");
    EXPECT_EQ(codec, CodecOf(bytes.data(), bytes.size()));
    std::stringbuf source(bytes);
    EXPECT_EQ(codec, SniffCodec(source));
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), source.sgetc());  // nothing taken
  }
  EXPECT_EQ(Codec::kGzip, CodecOfName("a.mbrk.gz"));
  EXPECT_EQ(Codec::kXz, CodecOfName("a.xz"));
  EXPECT_EQ(Codec::kZstd, CodecOfName("dir.gz/a.zst"));
  EXPECT_EQ(Codec::kPlain, CodecOfName(".gz"));
  EXPECT_EQ(Codec::kPlain, CodecOfName("a.gzip"));
  EXPECT_EQ("Damaged xz stream (truncated)",
            DamagedStreamMessage(Codec::kXz, DecodeFault::kTruncated));
  EXPECT_EQ("Damaged zstd stream (corrupt data)",
            DamagedStreamMessage(Codec::kZstd, DecodeFault::kCorrupt));
}

TEST(Codec, RoundTripsAndReadsStreamsOneAfterTheOther) {
  for (const Codec codec : kCodecs) {
    SCOPED_TRACE(CodecName(codec));
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{700000}}) {
      const std::string text = Sample(size);
      const Decoded once = Decode(codec, Compress(codec, text));
      EXPECT_EQ(DecodeFault::kNone, once.fault);
      EXPECT_TRUE(once.text == text) << size;
    }
    const Decoded twice = Decode(codec, Compress(codec, "1 2 ") + Compress(codec, "3\n"));
    EXPECT_EQ(DecodeFault::kNone, twice.fault);
    EXPECT_EQ("1 2 3\n", twice.text);
  }
}

TEST(Codec, DamagedStreamsEndWithTheirFault) {
  const std::string text = Sample(200000);
  for (const Codec codec : kCodecs) {
    SCOPED_TRACE(CodecName(codec));
    const std::string whole = Compress(codec, text);
    std::string flipped = whole;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x55);
    const struct {
      std::string bytes;
      DecodeFault fault;
    } kCases[] = {
        {whole.substr(0, whole.size() - 1), DecodeFault::kTruncated},
        {whole.substr(0, whole.size() / 2), DecodeFault::kTruncated},
        {whole.substr(0, 4), DecodeFault::kTruncated},
        // kNone: any fault; the decoder may take a flipped byte, or bytes
        // after the end, for a stream that goes on and is cut short.
        {flipped, DecodeFault::kNone},
        {whole + "[DataSet]", DecodeFault::kNone},
    };
    for (const auto& c : kCases) {
      const Decoded decoded = Decode(codec, c.bytes);
      if (c.fault == DecodeFault::kNone) {
        EXPECT_NE(DecodeFault::kNone, decoded.fault);
      } else {
        EXPECT_EQ(c.fault, decoded.fault) << c.bytes.size();
      }
      // Whatever came out is a part of the text from its start.
      if (c.fault != DecodeFault::kNone) {
        EXPECT_TRUE(text.compare(0, decoded.text.size(), decoded.text) == 0);
      }
    }
    std::stringbuf source(whole.substr(0, whole.size() - 1));
    DecodingBuffer checked(codec, &source);
    checked.sgetc();
    EXPECT_EQ(DecodeFault::kTruncated, checked.Check());
  }
}

TEST(Codec, KeepsWhatItReadForAnotherReadingAsIs) {
  const std::string bytes = "\x1f\x8b\x08 [DataSet] and more";
  std::stringbuf source(bytes);
  DecodingBuffer decoding(Codec::kGzip, &source, true);
  EXPECT_EQ(std::char_traits<char>::eof(), decoding.sgetc());
  EXPECT_EQ(DecodeFault::kCorrupt, decoding.fault());
  ASSERT_NE(nullptr, decoding.Kept());
  PrefixedBuffer again(*decoding.Kept(), &source);
  std::istream in(&again);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, all);
  std::stringbuf unkept(bytes);
  DecodingBuffer plain(Codec::kGzip, &unkept);
  EXPECT_EQ(nullptr, plain.Kept());
}

}  // namespace
}  // namespace mbrk
