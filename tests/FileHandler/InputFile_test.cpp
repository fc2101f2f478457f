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

}  // namespace
}  // namespace mbrk
