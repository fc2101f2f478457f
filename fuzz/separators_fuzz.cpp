// No separator byte changes what a file means (fuzz/SeparatorRuns.h).
//
// The input is a file of the bracketed format, whatever its bytes. It is
// read beside a rewrite of it in which every run of separators is replaced:
// by random separators chosen by the input's hash, treacherous bytes (255,
// NUL, 127, ...) weighted up, and for one input in four by a single blank.
// Both must read alike: the same tables, flat text or error through the
// dataset reader, the same rows through windows chained from offset 0, and
// the same probe answer. So the separators the fuzzer writes into a file
// are judged against others, and a file it writes with plain ones is tried
// with the treacherous bytes.
//
// One exception: the xz and zstd magic numbers are separators and letters
// together, so a separator of one is part of a name the file gives itself,
// not a blank. A file that begins with either, before or after the rewrite,
// is read as compressed (and a damaged one said to be so) by that name.
#include <cstdint>
#include <string>

#include "Base/internal/Codec.h"
#include "FileHandler/ParseTools.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/SeparatorRuns.h"

namespace {

bool NamedByLetters(const std::string& bytes) {
  const mbrk::Codec codec = mbrk::CodecOf(bytes.data(), bytes.size());
  return codec == mbrk::Codec::kXz || codec == mbrk::Codec::kZstd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static mbrk::fuzz::ScratchFile file;
  mbrk::FileTools tools;

  file.Write(data, size);
  const std::string original(reinterpret_cast<const char*>(data), size);
  const mbrk::fuzz::Outcome expected = mbrk::fuzz::DescribeFile(tools, file.name());

  const std::uint64_t hash = mbrk::fuzz::HashBytes(data, size);
  mbrk::fuzz::SplitMix random(hash);
  const bool blanks = hash % 4 == 0;
  const std::string rewritten = mbrk::fuzz::RewriteSeparatorRuns(original, [&](std::string& out) {
    if (blanks) {
      out += ' ';
    } else {
      mbrk::fuzz::AppendRandomRun(out, random);
    }
  });
  if (NamedByLetters(original) || NamedByLetters(rewritten)) return 0;
  file.Write(reinterpret_cast<const std::uint8_t*>(rewritten.data()), rewritten.size());
  const mbrk::fuzz::Outcome outcome = mbrk::fuzz::DescribeFile(tools, file.name(), &expected);

  MBRK_FUZZ_CHECK(outcome.read.text == expected.read.text);
  MBRK_FUZZ_CHECK(outcome.windows == expected.windows);
  MBRK_FUZZ_CHECK(outcome.probe == expected.probe);
  return 0;
}
