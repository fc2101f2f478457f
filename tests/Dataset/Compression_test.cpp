// Compressed dataset files through every reader: the same as the plain file,
// a damaged stream refused with its compression named, and plain files that
// begin with bytes of a magic number read as before.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "Dataset/Dataset.h"
#include "FileHandler/Filer.h"
#include "KQmessage/KQML.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

const Codec kCodecs[] = {Codec::kGzip, Codec::kXz, Codec::kZstd};

const char kText[] =
    "[FormatVersion = 1.0]\n[DataSet] [Rows = 3] [Inputs = 2] [ExpectedOutputs = 1]\n[Data]\n"
    "1 2 3\n4.5 -6 7e2\n.5 +8 9\n[~Data]\n[~DataSet]\n";

// What every reader makes of the file `path`: the dataset, the probe's two
// answers and the command's reading, or the error each gives.
std::string Readings(const std::string& path) {
  std::string out;
  try {
    const Dataset d = ReadDataset(path);
    out += "rows " + std::to_string(d.Rows()) + " " + test::Format(d.inputs(2, 1)) + " " +
           test::Format(d.expected(1, 0));
  } catch (const FormatError& e) {
    out += e.what();
  }
  try {
    out += "; shape " + std::to_string(ProbeDataset(path).rows);
  } catch (const FormatError& e) {
    out += std::string("; ") + e.what();
  }
  FileTools tools;
  out += "; " + test::ReaderErrorOf([&] {
           std::unique_ptr<TKQstructure> reply(ProbeFileHeader(tools, path.c_str()));
           out += test::Printed(*reply);
         });
  Data* table = nullptr;
  out += "; " + test::ReaderErrorOf([&] { LoadDatFile(tools, path.c_str(), table); });
  if (table != nullptr) out += "table " + std::to_string(table->MbrNdxDataRows);
  delete table;
  return out;
}

TEST(Compression, EveryReaderReadsACompressedFileAsItsText) {
  test::TempDir dir;
  test::WriteFile(dir.File("plain"), kText);
  const std::string plain = Readings(dir.File("plain"));
  EXPECT_EQ(0u, plain.find("rows 3 8 700; shape 3")) << plain;
  for (const Codec codec : kCodecs) {
    test::WriteFile(dir.File("packed"), test::Compressed(codec, kText));
    EXPECT_EQ(plain, Readings(dir.File("packed"))) << CodecName(codec);
    // Streams one after the other read as one text.
    const std::string half(kText, 60);
    test::WriteFile(dir.File("two"),
                    test::Compressed(codec, half) + test::Compressed(codec, kText + half.size()));
    EXPECT_EQ(plain, Readings(dir.File("two"))) << CodecName(codec);
  }
}

TEST(Compression, DamagedStreamsAreRefusedWithTheCompressionNamed) {
  test::TempDir dir;
  const std::string path = dir.File("damaged");
  std::string text = "[DataSet] [Rows = 3000] [Inputs = 2] [ExpectedOutputs = 1] [Data]\n";
  for (int i = 0; i < 9000; ++i) text += std::to_string(i % 97 * 1.25) + (i % 3 == 2 ? "\n" : " ");
  text += "[~Data] [~DataSet]\n";
  for (const Codec codec : kCodecs) {
    SCOPED_TRACE(CodecName(codec));
    const std::string whole = test::Compressed(codec, text);
    std::string flipped = whole;
    flipped[whole.size() - 6] = static_cast<char>(flipped[whole.size() - 6] ^ 0x20);
    const std::string truncated =
        std::string("Damaged ") + CodecName(codec) + " stream (truncated)";
    const std::string corrupt = std::string("Damaged ") + CodecName(codec) + " stream";
    const struct {
      std::string bytes;
      std::string message;
    } kCases[] = {
        {whole.substr(0, whole.size() - 3), truncated},
        {whole.substr(0, whole.size() / 2), truncated},
        {flipped, corrupt},  // a check fails: corrupt data, or a stream cut short
    };
    for (const auto& c : kCases) {
      SCOPED_TRACE(c.bytes.size());
      test::WriteFile(path, c.bytes);
      try {
        ReadDataset(path);
        ADD_FAILURE() << CodecName(codec) << ": read";
      } catch (const FormatError& e) {
        EXPECT_EQ(0u, e.Message().find(c.message)) << e.what();
      }
      FileTools tools;
      Data* table = nullptr;
      const std::string error =
          test::ReaderErrorOf([&] { LoadDatFile(tools, path.c_str(), table); });
      delete table;
      EXPECT_NE(std::string::npos, error.find(c.message)) << error;
    }
  }
}

// gzip's magic number is two separator bytes: a plain file may begin with
// them (and with anything that follows in a gzip header) and means the same.
// The errors of the whole-file reader, a window reader and ReadWindow, read
// strictly.
std::vector<std::string> StrictErrors(const std::string& path) {
  ReadOptions strict;
  strict.strict = true;
  std::vector<std::string> errors;
  for (int reader = 0; reader < 3; ++reader) {
    try {
      if (reader == 0) ReadDataset(path, strict);
      if (reader == 1) WindowReader(path, strict).Next(3);
      if (reader == 2) ReadWindow(path, 0, 0, 0, strict);
      errors.emplace_back("read");
    } catch (const FormatError& e) {
      errors.emplace_back(e.what());
    }
  }
  return errors;
}

TEST(Compression, PlainFilesBeginningLikeAStreamReadAsBefore) {
  test::TempDir dir;
  test::WriteFile(dir.File("plain"), kText);
  const std::string plain = Readings(dir.File("plain"));
  const std::string kPrefixes[] = {
      "\x1f\x8b",
      "\x1f\x8b\x08",
      std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10),
      "\x1f\x8b\x08\x1f\x8b\x08 \x1f\x8b\n",
      std::string("\x1f\x8b\x08\x08\x00\x00\x00\x00\x00\x03\x7f\x01", 12),
  };
  for (const std::string& prefix : kPrefixes) {
    test::WriteFile(dir.File("magic"), prefix + kText);
    EXPECT_EQ(plain, Readings(dir.File("magic"))) << prefix.size();
    // Its errors too are those of the plain file, where they stood.
    std::string blanks = prefix;
    for (char& c : blanks) c = c == '\n' ? c : ' ';
    test::WriteFile(dir.File("bad"), blanks + "\n[DataSet] [Rows = x]");
    const std::string refused = Readings(dir.File("bad"));
    test::WriteFile(dir.File("bad"), prefix + "\n[DataSet] [Rows = x]");
    EXPECT_EQ(refused, Readings(dir.File("bad")));
    // Read strictly, its byte 0x8b is refused where it stands, by every reader.
    EXPECT_EQ(std::vector<std::string>(3, dir.File("magic") + ":1:3: Unexpected non-ASCII byte"),
              StrictErrors(dir.File("magic")));
  }
}

TEST(Compression, ErrorsStandWhereTheyStandInTheDecodedText) {
  const std::string text =
      "[DataSet] [Rows = 2] [Inputs = 1]\n[Data]\n1\n  x\n[~Data] [~DataSet]\n";
  for (const Codec codec : kCodecs) {
    std::istringstream in(test::Compressed(codec, text));
    try {
      ReadDataset(in);
      ADD_FAILURE();
    } catch (const FormatError& e) {
      EXPECT_STREQ("<stream>:4:4: number-expected", e.what()) << CodecName(codec);
      EXPECT_EQ(46, e.Offset());
    }
  }
}

TEST(Compression, WritesWhatTheOptionsOrTheSuffixSay) {
  test::TempDir dir;
  const Dataset dataset = ReadDataset([&] {
    test::WriteFile(dir.File("in"), kText);
    return dir.File("in");
  }());
  WriteDataset(dir.File("plain.mbrk"), dataset);
  const std::string plain = test::ReadFile(dir.File("plain.mbrk"));
  const struct {
    const char* name;
    std::optional<Compression> compression;
    const char* magic;
  } kCases[] = {
      {"a.mbrk.gz", std::nullopt, "\x1f\x8b"},
      {"a.xz", std::nullopt,
       "\xfd"
       "7zXZ"},
      {"a.zst", std::nullopt, "\x28\xb5\x2f\xfd"},
      {"a.gz", Compression::kNone, "[Form"},
      {"a.mbrk", Compression::kZstd, "\x28\xb5\x2f\xfd"},
  };
  for (const auto& c : kCases) {
    WriteDataset(dir.File(c.name), dataset, WriteOptions{c.compression});
    const std::string written = test::ReadFile(dir.File(c.name));
    EXPECT_EQ(0u, written.find(c.magic)) << c.name;
    EXPECT_EQ(dataset, ReadDataset(dir.File(c.name))) << c.name;
  }
  std::ostringstream out;
  WriteDataset(out, dataset, WriteOptions{Compression::kGzip});
  std::istringstream in(out.str());
  EXPECT_EQ(dataset, ReadDataset(in));
  std::ostringstream unpacked;
  WriteDataset(unpacked, dataset);
  EXPECT_EQ(plain, unpacked.str());
}

// Windows in order on one open input: together the rows of the whole file,
// the end of the file read after the last; for a compressed file, a plain one
// and a stream alike.
TEST(Compression, WindowsInOrderReadTheWholeFile) {
  test::TempDir dir;
  const Dataset whole = [&] {
    test::WriteFile(dir.File("plain"), kText);
    return ReadDataset(dir.File("plain"));
  }();
  test::WriteFile(dir.File("packed"), test::Compressed(Codec::kZstd, kText));
  std::istringstream stream(test::Compressed(Codec::kGzip, kText));
  WindowStream readers[] = {WindowStream(dir.File("plain")), WindowStream(dir.File("packed")),
                            WindowStream(stream)};
  for (WindowStream& reader : readers) {
    EXPECT_EQ(3, reader.Shape().rows);
    const Dataset first = reader.Next(2);
    EXPECT_EQ(1, reader.RowsLeft());
    const Dataset rest = reader.Next(5);
    EXPECT_EQ(0, reader.RowsLeft());
    EXPECT_EQ(0u, reader.Next(5).Rows());
    ASSERT_EQ(2u, first.Rows());
    ASSERT_EQ(1u, rest.Rows());
    EXPECT_EQ(whole.inputs(1, 1), first.inputs(1, 1));
    EXPECT_EQ(whole.expected(2, 0), rest.expected(0, 0));
  }
  const std::string text(kText);
  test::WriteFile(dir.File("tail"), test::Compressed(Codec::kXz, text + "[Data]"));
  WindowStream tail(dir.File("tail"));
  tail.Next(2);
  try {
    tail.Next(1);
    ADD_FAILURE();
  } catch (const FormatError& e) {
    EXPECT_EQ("End Tag expected", e.Message());
    EXPECT_EQ(9, e.Line());
  }
}

TEST(Compression, WindowsByOffsetAreRefusedOnACompressedFile) {
  test::TempDir dir;
  test::WriteFile(dir.File("a.gz"), test::Compressed(Codec::kGzip, kText));
  try {
    ReadWindow(dir.File("a.gz"), 0, 1);
    ADD_FAILURE();
  } catch (const FormatError& e) {
    EXPECT_EQ("Unable to seek in file", e.Message());
  }
  try {
    WindowReader reader(dir.File("a.gz"));
    ADD_FAILURE();
  } catch (const FormatError& e) {
    EXPECT_EQ("Unable to seek in file", e.Message());
  }
}

}  // namespace
}  // namespace mbrk
