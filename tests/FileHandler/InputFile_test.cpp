// Files opened by the readers that take a name: a small file gets a buffer of
// its own size, not the large one, and reads the same either way; a folder
// is refused before it is opened.
#include "FileHandler/internal/InputFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <iterator>
#include <string>

#include "TestSupport.h"

namespace mbrk {
namespace {

TEST(InputFile, BufferFollowsTheFileSize) {
  test::TempDir dir;
  const struct {
    std::size_t bytes;
    std::size_t buffer;
  } cases[] = {
      {0, 512},
      {100, 512},
      {511, 512},
      {512, 513},
      {10000, 10001},
      {InputFile::kLargestBuffer - 1, InputFile::kLargestBuffer},
      {InputFile::kLargestBuffer, InputFile::kLargestBuffer},
      {3 * InputFile::kLargestBuffer + 7, InputFile::kLargestBuffer},
  };
  for (const auto& c : cases) {
    std::string bytes(c.bytes, 'x');
    for (std::size_t i = 0; i < bytes.size(); i += 97) bytes[i] = static_cast<char>('a' + i % 26);
    const std::string path = dir.File("f" + std::to_string(c.bytes));
    test::WriteFile(path, bytes);
    InputFile file;
    ASSERT_TRUE(file.Open(path.c_str(), std::ios::binary)) << c.bytes;
    EXPECT_EQ(c.buffer, file.buffer_size()) << c.bytes;
    const std::string read((std::istreambuf_iterator<char>(file.stream())),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, read) << c.bytes;
  }
  InputFile missing;
  EXPECT_FALSE(missing.Open(dir.File("none").c_str()));
  {
    // A pipe has no size to go by.
    const test::FifoSource pipe(dir.File("fifo"), "[DataSet]");
    InputFile piped;
    ASSERT_TRUE(piped.Open(pipe.path().c_str()));
    EXPECT_EQ(InputFile::kLargestBuffer, piped.buffer_size());
  }
}

TEST(OpenInput, RefusesFoldersAndWhatTheSystemRefuses) {
  test::TempDir dir;
  test::WriteFile(dir.File("file"), "x");
  const struct {
    std::string path;
    InputStatus status;
    int error;
  } cases[] = {
      {dir.File("file"), InputStatus::kOpen, 0},
      {dir.path(), InputStatus::kFolder, EISDIR},
      {dir.File("none"), InputStatus::kRefused, ENOENT},
  };
  for (const auto& c : cases) {
    InputFile input;
    EXPECT_EQ(c.status, OpenInput(input, c.path.c_str())) << c.path;
    const int error = errno;
    if (c.error != 0) {
      EXPECT_EQ(c.error, error) << c.path;
    }
  }
}

// Positions and put-back as the readers use them: a byte taken can be put
// back also right after the buffer was refilled; a tell is the bytes taken;
// a seek lands on the byte asked; a pipe has no positions.
TEST(InputFile, PositionsAndPutBackAcrossRefills) {
  test::TempDir dir;
  std::string bytes(2 * InputFile::kLargestBuffer + 5, ' ');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 23);
  test::WriteFile(dir.File("f"), bytes);
  InputFile file;
  ASSERT_TRUE(file.Open(dir.File("f").c_str(), std::ios::binary));
  std::streambuf* const sb = file.stream().rdbuf();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    ASSERT_EQ(bytes[i], static_cast<char>(sb->sbumpc())) << i;
    if (i % InputFile::kLargestBuffer == 0) {
      ASSERT_EQ(bytes[i], static_cast<char>(sb->sungetc())) << i;
      ASSERT_EQ(bytes[i], static_cast<char>(sb->sbumpc())) << i;
      ASSERT_EQ(std::streamoff(i + 1), std::streamoff(sb->pubseekoff(0, std::ios::cur))) << i;
    }
  }
  EXPECT_EQ(std::char_traits<char>::eof(), sb->sgetc());
  const struct {
    std::streamoff offset;
    std::ios::seekdir from;
    std::streamoff lands;
  } seeks[] = {{7, std::ios::beg, 7},
               {-3, std::ios::cur, 5},  // after taking the byte at 7
               {-1, std::ios::end, std::streamoff(bytes.size()) - 1},
               {std::streamoff(InputFile::kLargestBuffer), std::ios::beg,
                std::streamoff(InputFile::kLargestBuffer)}};
  for (const auto& seek : seeks) {
    ASSERT_EQ(seek.lands, std::streamoff(sb->pubseekoff(seek.offset, seek.from)));
    EXPECT_EQ(bytes[static_cast<std::size_t>(seek.lands)], static_cast<char>(sb->sbumpc()));
  }

  const test::FifoSource pipe(dir.File("fifo"), "[DataSet]");
  InputFile piped;
  ASSERT_TRUE(piped.Open(pipe.path().c_str()));
  EXPECT_EQ(std::streamoff(-1),
            std::streamoff(piped.stream().rdbuf()->pubseekoff(0, std::ios::cur)));
  EXPECT_EQ('[', piped.stream().rdbuf()->sbumpc());
}

}  // namespace
}  // namespace mbrk
