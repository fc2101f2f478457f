// Reading the data block's numbers on several threads against reading them on
// one: the same values bit for bit, or the same message at the same line,
// column and offset, with chunks and pieces small enough to cut every input
// everywhere.
#include "Dataset/internal/ParallelRead.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Dataset/Dataset.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

// What a read gives, as bytes: the matrices' shapes and values (NaNs and
// signed zeros as they are), the label lists and the version, or the error.
template <typename Read>
std::string Outcome(Read read) {
  try {
    const Dataset dataset = read();
    std::string bytes;
    for (const Matrix* matrix :
         {&dataset.inputs, &dataset.expected, &dataset.generated, &dataset.errors}) {
      bytes += std::to_string(matrix->Rows()) + "x" + std::to_string(matrix->Width()) + ":";
      if (matrix->Size() != 0) {
        bytes.append(reinterpret_cast<const char*>(matrix->Data()),
                     matrix->Size() * sizeof(double));
      }
    }
    for (const auto* lists : {&dataset.expected_labels, &dataset.generated_labels}) {
      if (!lists->has_value()) continue;
      for (const Labels& labels : **lists) {
        for (const Label& label : labels) bytes += label.name + "=" + test::Format(label.value);
        bytes += ";";
      }
    }
    return bytes + "v" + (dataset.format_version ? test::Format(*dataset.format_version) : "-");
  } catch (const FormatError& error) {
    return error.what() + std::string(" @") + std::to_string(error.Offset());
  }
}

const char* const kHeader = "[DataSet] [Rows = 3] [Inputs = 2] [ExpectedOutputs = 1] [Data]\n";

// Data blocks, each after kHeader unless it starts with "[".
const char* const kBlocks[] = {
    "1 2 3\n4.5 -6 7e2\n.5 +8 9 [~Data] [~DataSet]\n",
    "1,2\t3\r\n4\x80"
    "5\xff"
    "6\x01"
    "7 8 9[~Data][~DataSet]",
    "1 2 3 4 /* a 5 6 */ 5 6 7 8 9 [~Data] [~DataSet]",
    "1 2 3 4 [FormatVersion = 1.0] 5 6 7 8 9 [~Data] [~DataSet]",
    "1 2 3 4 5 [~Data] [~DataSet]",               // too few values
    "1 2 3 4 5 6 7 8 9 10 [~Data] [~DataSet]",    // one too many
    "1 2 3 4 1.5abc 6 7 8 9 [~Data] [~DataSet]",  // a prefix that converts
    "1 2 3 4 abc 6 7 8 9 [~Data] [~DataSet]",     // number-expected
    "1 2 1e400 inf -nan 0x1p3 12345678901234567890123 1e-400 9 [~Data] [~DataSet]",
    "1 2 3 4 5[~Data] [~DataSet]",
    "1 2 3 4 5 6 7 8 9",                                         // the input ends
    "1 2 3 4 5 6 7 8 9 [~Data] [~DataSet] 10",                   // a word after
    "1 2 3 4 5 6 7 8 9 [~Data] [~DataSet] /* closing words */",  // a comment after
    "1 2 3 4 5 6 7 8 9 /* unclosed [~Data] [~DataSet]",
    "[DataSet] [Rows = 2] [Inputs = 1] [ExpectedOutputs = Labels] [Data] 1 [a b=2] 3 []"
    " [~Data] [~DataSet]",
    "[DataSet] [Rows = 2] [ExpectedOutputs = 1] [GeneratedOutputs = 0] [Error = 2] [Data]"
    " 1 2 3 4 5 6 [~Data] [~DataSet]",
    "[DataSet] [Rows = 2] [Inputs = 1] [GeneratedOutputs = 2] [Data] 1 2 3 4 5 6 [~Data]"
    " [~DataSet]",
    "[DataSet] [Rows = 0] [Inputs = 2] [Data] [~Data] [~DataSet]",
    "[DataSet] [Rows = 2] [Inputs = 1] [Data] 1 11111111111111111111111111111111111111111 "
    "[~Data] [~DataSet]",
};

// Chunk and piece sizes: a byte, a few bytes, a word or two, the whole text.
const std::pair<std::size_t, std::size_t> kChunkAndPiece[] = {
    {1, 1}, {1, 7}, {2, 4}, {3, 33}, {5, 1 << 20}, {16, 33}, {1, 1 << 20}, {4096, 1 << 20}};

TEST(ParallelRead, GivesWhatOneThreadGivesWhereverChunksAndPiecesEnd) {
  std::vector<std::string> texts;
  for (const char* block : kBlocks) {
    const std::string text = block[0] == '[' ? block : kHeader + std::string(block);
    texts.push_back(text);
  }
  // With a NUL as a separator, which a C string cannot hold.
  const char with_nul[] = "1 2\0 3 4 5 6 7 8 9 [~Data] [~DataSet]";
  texts.push_back(kHeader + std::string(with_nul, sizeof with_nul - 1));
  // Many rows of every kind of separator and number the chunks take.
  std::mt19937 random(7);
  std::string many = "[DataSet] [Rows = 300] [Inputs = 3] [ExpectedOutputs = 2] [Data]";
  const char* const separators[] = {" ", "\n", "\r\n", ",", "\t", "\x7f", "\xa0", "  "};
  for (int i = 0; i < 1500; ++i) {
    many += separators[random() % 8];
    many += std::to_string(static_cast<int>(random() % 20001) - 10000);
    if (random() % 3 == 0) many += "." + std::to_string(random() % 1000);
    if (random() % 7 == 0) many += "e-" + std::to_string(random() % 12);
  }
  texts.push_back(many + " [~Data] [~DataSet]\n");
  texts.push_back(many.substr(0, many.size() - 200) + " [~Data] [~DataSet]\n");

  for (const std::string& text : texts) {
    const std::string expected = Outcome([&] {
      std::istringstream in(text);
      return ReadDataset(in, ReadOptions{1});
    });
    for (unsigned threads = 1; threads <= 4; ++threads) {
      for (const auto& [chunk, piece] : kChunkAndPiece) {
        {
          ParallelRowOptions options;
          options.threads = threads;
          options.chunk_bytes = chunk;
          options.piece_bytes = piece;
          options.least_bytes = 0;
          const std::string got = Outcome([&] {
            std::istringstream in(text);
            return ReadDatasetWith(in, options);
          });
          ASSERT_EQ(expected, got) << text.substr(0, 120) << "\nthreads " << threads << " chunk "
                                   << chunk << " piece " << piece;
        }
      }
    }
  }
}

// A compressed stream, read on one thread or decoded on one while others
// parse, gives what its plain text gives: the same values, or the same
// message at the same line, column and offset of the decoded text.
TEST(ParallelRead, CompressedGivesWhatPlainGives) {
  std::vector<std::string> texts;
  for (const char* block : kBlocks)
    texts.push_back(block[0] == '[' ? block : kHeader + std::string(block));
  std::string many = "[DataSet] [Rows = 2000] [Inputs = 3] [ExpectedOutputs = 2] [Data]\n";
  for (int i = 0; i < 10000; ++i) many += std::to_string(i * 37 % 1001) + (i % 5 == 4 ? "\n" : " ");
  texts.push_back(many + "[~Data] [~DataSet]\n");
  texts.push_back(many + "x [~Data] [~DataSet]\n");
  for (const std::string& text : texts) {
    const std::string expected = Outcome([&] {
      std::istringstream in(text);
      return ReadDataset(in, ReadOptions{1});
    });
    for (const Codec codec : {Codec::kGzip, Codec::kXz, Codec::kZstd}) {
      const std::string bytes = test::Compressed(codec, text);
      for (const auto& [threads, chunk] :
           {std::pair<unsigned, std::size_t>{1, 1}, {3, 7}, {2, 4096}}) {
        ParallelRowOptions options;
        options.threads = threads;
        options.chunk_bytes = chunk;
        options.piece_bytes = chunk * 5;
        options.least_bytes = 0;
        const std::string got = Outcome([&] {
          std::istringstream in(bytes);
          return ReadDatasetWith(in, options);
        });
        ASSERT_EQ(expected, got) << text.substr(0, 120) << "\n"
                                 << CodecName(codec) << " threads " << threads << " chunk "
                                 << chunk;
      }
    }
  }
}

// The defaults: a file of several mebibytes read by name on every core, and
// on two threads, as on one.
TEST(ParallelRead, ReadsLargeFilesByNameAsOneThreadDoes) {
  std::string text = "[DataSet] [Rows = 100000] [Inputs = 4] [ExpectedOutputs = 1] [Data]\n";
  std::mt19937 random(3);
  for (int row = 0; row < 100000; ++row) {
    for (int k = 0; k < 5; ++k) text += std::to_string(random() % 100000 / 1000.0) + " ";
    text += "\n";
  }
  test::TempDir dir;
  const std::string path = dir.File("large.mbrk");
  test::WriteFile(path, text + "[~Data] [~DataSet]\n");
  const std::string expected = Outcome([&] { return ReadDataset(path, ReadOptions{1}); });
  EXPECT_EQ(expected, Outcome([&] { return ReadDataset(path); }));
  EXPECT_EQ(expected, Outcome([&] { return ReadDataset(path, ReadOptions{2}); }));
  // Cut short inside a number near the end: the same error at the same place.
  test::WriteFile(path, text.substr(0, text.size() - 30) + " x [~Data] [~DataSet]\n");
  const std::string broken = Outcome([&] { return ReadDataset(path, ReadOptions{1}); });
  EXPECT_NE(std::string::npos, broken.find("number-expected")) << broken.substr(0, 200);
  EXPECT_EQ(broken, Outcome([&] { return ReadDataset(path, ReadOptions{2}); }));
}

}  // namespace
}  // namespace mbrk
