// Reading ahead in a stream without positions: every byte comes once and in
// order, whatever was read ahead, and a byte taken can be put back across a
// refill.
#include "Base/internal/ReadAheadBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <streambuf>
#include <string>
#include <utility>

namespace mbrk {
namespace {

// A source that cannot seek and hands out at most `piece` bytes per read.
class Trickle : public std::streambuf {
 public:
  Trickle(std::string text, std::size_t piece) : text_(std::move(text)), piece_(piece) {}

 protected:
  std::streamsize xsgetn(char* s, std::streamsize n) override {
    const std::size_t count = std::min({static_cast<std::size_t>(n), piece_, text_.size() - at_});
    text_.copy(s, count, at_);
    at_ += count;
    return static_cast<std::streamsize>(count);
  }
  int_type underflow() override { return traits_type::eof(); }

 private:
  std::string text_;
  std::size_t piece_;
  std::size_t at_ = 0;
};

std::string Text(std::size_t size) {
  std::string text(size, ' ');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7) % 26);
  return text;
}

TEST(ReadAheadBuffer, HoldsWhatComesAndHandsItOutInOrder) {
  const std::string text = Text(300000);
  const struct {
    std::size_t piece;    // bytes per read of the source
    std::uint64_t ahead;  // read ahead before the first byte is taken
    bool holds;
  } cases[] = {
      {1 << 20, 0, true}, {1 << 20, 200000, true}, {4096, 300000, true},
      {7, 250001, true},  {4096, 300001, false},   {1 << 20, ~std::uint64_t{0}, false},
  };
  for (const auto& c : cases) {
    Trickle source(text, c.piece);
    ReadAheadBuffer ahead(&source);
    EXPECT_EQ(c.holds, ahead.Holds(c.ahead)) << c.piece << " " << c.ahead;
    std::string read;
    for (int b = ahead.sbumpc(); b != std::char_traits<char>::eof(); b = ahead.sbumpc()) {
      read.push_back(static_cast<char>(b));
      // Every byte can go back and come again, also once the next byte has
      // been asked for (which refills the buffer after its last byte).
      ahead.sgetc();
      ASSERT_NE(std::char_traits<char>::eof(), ahead.sungetc());
      ASSERT_EQ(b, ahead.sbumpc());
    }
    EXPECT_EQ(text, read) << c.piece << " " << c.ahead;
    EXPECT_EQ(-1, ahead.pubseekoff(0, std::ios::cur, std::ios::in));
  }
}

TEST(ReadAheadBuffer, DeliversCountsWithoutKeeping) {
  const std::string text = Text(200000);
  for (const std::uint64_t count : {std::uint64_t{1}, std::uint64_t{200000}}) {
    Trickle source(text, 1000);
    ReadAheadBuffer ahead(&source);
    ASSERT_TRUE(ahead.Holds(10));
    EXPECT_TRUE(ahead.Delivers(count));
  }
  Trickle source(text, 1000);
  ReadAheadBuffer ahead(&source);
  EXPECT_FALSE(ahead.Delivers(200001));
  EXPECT_EQ(std::char_traits<char>::eof(), ahead.sgetc());
}

}  // namespace
}  // namespace mbrk
