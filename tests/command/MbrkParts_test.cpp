// Pieces of the mbrk command in-process: its command line and the counting
// stream buffer its readers go through.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <istream>
#include <string>
#include <vector>

#include "Dataset/Dataset.h"
#include "TestSupport.h"
#include "command/mbrk/Files.h"
#include "command/mbrk/Options.h"

namespace mbrk::test {
namespace {

using cli::Arguments;
using cli::OptionRule;

const std::vector<OptionRule> kRules = {{"to", 't', true}, {"quiet", 'q', false}};

std::string Shown(const Arguments& args) {
  std::string text;
  for (const auto& [name, value] : args.options) text += name + "=" + value + " ";
  for (const std::string& operand : args.operands) text += "[" + operand + "]";
  return text;
}

TEST(MbrkOptions, LongShortJoinedAndAfterTheOperands) {
  const struct {
    std::vector<std::string> words;
    std::string parsed;
  } cases[] = {
      {{"a", "--to", "csv", "b"}, "to=csv [a][b]"},
      {{"--to=tsv", "a"}, "to=tsv [a]"},
      {{"-tnpy", "-q", "a"}, "quiet= to=npy [a]"},
      {{"-qt", "csv", "-"}, "quiet= to=csv [-]"},
      {{"--to", "x", "--to", "y"}, "to=y "},
      {{"--", "--to", "-q"}, "[--to][-q]"},
      {{"--to="}, "to= "},
  };
  for (const auto& c : cases) EXPECT_EQ(c.parsed, Shown(cli::ParseArguments(c.words, kRules)));
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--frob"}, {"-x"}, {"--to"}, {"-qt"}, {"--quiet=1"}}) {
    EXPECT_THROW(cli::ParseArguments(words, kRules), cli::UsageError) << words.front();
  }
  EXPECT_TRUE(cli::WantsHelp({"a", "-h"}));
  EXPECT_FALSE(cli::WantsHelp({"--", "--help"}));
  EXPECT_EQ(7, cli::ParseCount("7", "-n", 0, 10));
  for (const char* text : {"", "11", "-1", "3x", " 3", "0x3"}) {
    EXPECT_THROW(cli::ParseCount(text, "-n", 0, 10), cli::UsageError) << text;
  }
}

TEST(MbrkFiles, TheCountingBufferSeeksAndCountsWhatItReads) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 300000; ++i) text += std::to_string(i % 10);  // more than a block
  WriteFile(dir.File("t"), text);
  std::atomic<std::uint64_t> counted{0};
  cli::CountingBuffer buffer(::open(dir.File("t").c_str(), O_RDONLY), true, &counted);
  std::istream in(&buffer);
  char piece[10] = {};
  ASSERT_TRUE(in.read(piece, 3));
  EXPECT_EQ(3, in.tellg());
  EXPECT_EQ(text.size(), counted.load());  // one read took the whole (small) file
  in.seekg(299995);
  EXPECT_EQ('5', in.get());
  in.seekg(-10, std::ios::end);
  ASSERT_TRUE(in.read(piece, 10));
  EXPECT_EQ(text.substr(text.size() - 10), std::string(piece, 10));
  EXPECT_EQ(std::istream::traits_type::eof(), in.get());
  in.clear();
  in.seekg(1);
  std::string rest(text.size() - 1, '\0');
  ASSERT_TRUE(in.read(rest.data(), static_cast<std::streamsize>(rest.size())));
  EXPECT_EQ(text.substr(1), rest);

  // A pipe reads without positions, and a dataset still reads whole from it.
  int pipe_ends[2];
  ASSERT_EQ(0, ::pipe(pipe_ends));
  const std::string dataset = "[DataSet][Rows = 1][Inputs = 2][Data] 1 2 [~Data][~DataSet]";
  ASSERT_EQ(static_cast<ssize_t>(dataset.size()),
            ::write(pipe_ends[1], dataset.data(), dataset.size()));
  ::close(pipe_ends[1]);
  cli::CountingBuffer piped(pipe_ends[0], true, nullptr);
  std::istream from_pipe(&piped);
  EXPECT_EQ(-1, from_pipe.tellg());
  from_pipe.clear();
  EXPECT_EQ(2.0, ReadDataset(from_pipe).inputs(0, 1));
}

}  // namespace
}  // namespace mbrk::test
