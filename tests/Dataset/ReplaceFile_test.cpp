#include "Dataset/internal/ReplaceFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "TestSupport.h"

namespace mbrk::files {
namespace {

namespace fs = std::filesystem;

int EntriesIn(const std::string& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) count += entry.exists() ? 1 : 0;
  return count;
}

TEST(ReplacingFile, CommitReplacesWholeAndKeepsThePermissions) {
  test::TempDir dir;
  const std::string path = dir.File("out.flat");
  test::WriteFile(path, "old content\n");
  ASSERT_EQ(0, ::chmod(path.c_str(), 0640));
  {
    ReplacingFile file(path);
    file.Write("new ", 4);
    EXPECT_EQ("old content\n", test::ReadFile(path));  // nothing shows before the end
    file.Write("text\n", 5);
    file.Commit();
  }
  EXPECT_EQ("new text\n", test::ReadFile(path));
  EXPECT_EQ(1, EntriesIn(dir.path()));
  struct stat status;
  ASSERT_EQ(0, ::stat(path.c_str(), &status));
  EXPECT_EQ(0640U, status.st_mode & 07777);
}

TEST(ReplacingFile, AnUncommittedFileLeavesTheOldOneAndNoTrace) {
  test::TempDir dir;
  const std::string path = dir.File("out.flat");
  test::WriteFile(path, "old\n");
  try {
    ReplacingFile file(path);
    file.Write("half", 4);
    throw std::runtime_error("stopped");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ("old\n", test::ReadFile(path));
  EXPECT_EQ(1, EntriesIn(dir.path()));
}

// A write the system refuses part-way (here the file size limit, as a full
// disk would) leaves the old destination and removes the temporary file.
TEST(ReplacingFile, AFailedWriteLeavesTheOldDestination) {
  test::TempDir dir;
  const std::string path = dir.File("out.flat");
  test::WriteFile(path, "old\n");
  struct rlimit saved;
  ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &saved));
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = saved;
  limit.rlim_cur = 1000;
  ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &limit));
  std::string caught;
  try {
    ReplacingFile file(path);
    const std::string block(600, 'x');
    file.Write(block.data(), block.size());
    file.Write(block.data(), block.size());
    file.Commit();
  } catch (const std::system_error& error) {
    caught = error.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ("cannot write '" + path + "': File too large", caught);
  EXPECT_EQ("old\n", test::ReadFile(path));
  EXPECT_EQ(1, EntriesIn(dir.path()));
}

TEST(ReplacingFile, ALinkIsFollowedAndStaysALink) {
  test::TempDir dir;
  fs::create_directory(dir.File("data"));
  test::WriteFile(dir.File("data/real.flat"), "old\n");
  fs::create_symlink("data/real.flat", dir.File("link.flat"));
  ReplacingFile file(dir.File("link.flat"));
  EXPECT_EQ(dir.File("data"), fs::path(file.TemporaryPath()).parent_path().string());
  file.Write("new\n", 4);
  file.Commit();
  EXPECT_TRUE(fs::is_symlink(dir.File("link.flat")));
  EXPECT_EQ("new\n", test::ReadFile(dir.File("data/real.flat")));
}

TEST(ReplacingFile, DevicesAndPipesAreWrittenInPlace) {
  ReplacingFile file("/dev/null");
  EXPECT_EQ("", file.TemporaryPath());
  file.Write("x", 1);
  file.Commit();
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  int ends[2];
  ASSERT_EQ(0, ::pipe(ends));
  {
    ReplacingFile pipe("/proc/self/fd/" + std::to_string(ends[1]));
    EXPECT_EQ("", pipe.TemporaryPath());
    pipe.Write("row\n", 4);
    pipe.Commit();
  }
  ::close(ends[1]);
  char got[8] = {};
  EXPECT_EQ(4, ::read(ends[0], got, sizeof got));
  ::close(ends[0]);
  EXPECT_EQ("row\n", std::string(got));
}

TEST(ReplacingFile, AMissingFolderIsReportedAsTheSystemReportsIt) {
  test::TempDir dir;
  const std::string path = dir.File("no/such/out.flat");
  try {
    ReplacingFile file(path);
    FAIL() << "created";
  } catch (const std::system_error& error) {
    EXPECT_EQ("cannot create '" + path + "': No such file or directory", std::string(error.what()));
  }
}

TEST(SameFile, UnderEveryName) {
  test::TempDir dir;
  test::WriteFile(dir.File("a.mbrk"), "x");
  test::WriteFile(dir.File("b.mbrk"), "x");
  fs::create_symlink("a.mbrk", dir.File("soft"));
  fs::create_hard_link(dir.File("a.mbrk"), dir.File("hard"));
  const std::string a = dir.File("a.mbrk");
  const struct {
    std::string other;
    bool same;
  } cases[] = {
      {a, true},
      {dir.path() + "/./a.mbrk", true},
      {dir.File("soft"), true},
      {dir.File("hard"), true},
      {dir.File("b.mbrk"), false},
      {dir.File("missing"), false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.same, SameFile(a, c.other)) << c.other;
  EXPECT_FALSE(SameFile("/dev/null", "/dev/null"));  // keeps nothing: not a source
}

}  // namespace
}  // namespace mbrk::files
