// The flat file reader against the library's own formatted extraction.
//
// The first three bytes choose the row count and the two widths (255 stands
// for -1, which must be refused); the rest is the file. TFlatFiler::ReadData
// takes its numbers straight from the stream buffer for speed, and must read
// exactly what `in >> value` reads, position by position (and the flat
// writer's texts of non-finite values), leaving the stream in the same state
// at the same place: from a buffer that holds the whole file, and from one
// that holds a few bytes at a time, so that numbers straddle the ends of what
// it holds.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/FlatFiler.h"
#include "fuzz/FuzzSupport.h"

namespace {

std::int32_t Count(std::uint8_t byte, int modulus) { return byte == 255 ? -1 : byte % modulus; }

// Hands its text out `piece` bytes at a time, each piece in an array of its
// own so that a read past one is caught.
class PieceBuffer : public std::streambuf {
 public:
  PieceBuffer(const std::string& text, std::size_t piece) : text_(text), piece_(piece) {}
  std::string Rest() {
    std::string rest;
    for (int c = sbumpc(); c != traits_type::eof(); c = sbumpc()) rest += static_cast<char>(c);
    return rest;
  }

 protected:
  int_type underflow() override {
    if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (position_ >= text_.size()) return traits_type::eof();
    const std::size_t size = std::min(piece_, text_.size() - position_);
    window_.reset(new char[size]);
    std::memcpy(window_.get(), text_.data() + position_, size);
    position_ += size;
    setg(window_.get(), window_.get(), window_.get() + size);
    return traits_type::to_int_type(*gptr());
  }

 private:
  const std::string& text_;
  std::size_t piece_;
  std::size_t position_ = 0;
  std::unique_ptr<char[]> window_;
};

std::size_t Position(std::istringstream& in) {
  return static_cast<std::size_t>(in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
}

// The flat writer's texts of non-finite values, "+INF", "-INF", "+NAN" and
// "-NAN", at `at` of the stream's text: a sign followed by "I" or "N" begins
// one, its letters are read while they continue it, and an unfinished one is
// not a number (0, and a failed stream). False when none begins there.
bool ReadSpecial(std::istringstream& in, const std::string& text, double& value) {
  const std::size_t at = Position(in);
  if (at + 1 >= text.size() || (text[at] != '+' && text[at] != '-') ||
      (text[at + 1] != 'I' && text[at + 1] != 'N')) {
    return false;
  }
  const char* const word = text[at + 1] == 'I' ? "INF" : "NAN";
  std::size_t end = at + 1;
  while (end < text.size() && end - at < 4 && text[end] == word[end - at - 1]) ++end;
  in.seekg(static_cast<std::streamoff>(end));
  if (end - at == 4) {
    const double magnitude = word[0] == 'I' ? std::numeric_limits<double>::infinity()
                                            : std::numeric_limits<double>::quiet_NaN();
    value = text[at] == '-' ? -magnitude : magnitude;
  } else {
    value = 0.0;
    in.setstate(std::ios::failbit);
  }
  if (end == text.size()) in.setstate(std::ios::eofbit);
  return true;
}

// The reading the flat reader promises, done the slow way: every position
// by the library's extraction, or as a text of a non-finite value; once the
// stream has failed, a position keeps the previous row's value (0.0 in the
// first row).
void Reference(std::istringstream& in, const std::string& text, std::vector<double>& values) {
  for (double& value : values) {
    if (!in) return;
    in >> std::ws;
    if (!in.eof() && ReadSpecial(in, text, value)) continue;
    in >> value;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::int32_t rows = Count(data[0], 40);
  const std::int32_t inputs = Count(data[1], 9);
  const std::int32_t outputs = Count(data[2], 9);
  const std::string text(reinterpret_cast<const char*>(data) + 3, size - 3);

  std::istringstream whole(text);
  PieceBuffer pieces(text, 1 + size % 8);
  std::istream in_pieces(&pieces);
  std::istringstream ref(text);
  std::vector<double> ref_inputs(static_cast<std::size_t>(inputs > 0 ? inputs : 0));
  std::vector<double> ref_outputs(static_cast<std::size_t>(outputs > 0 ? outputs : 0));
  for (std::istream* in : {static_cast<std::istream*>(&whole), &in_pieces}) {
    mbrk::Data* read = nullptr;
    try {
      mbrk::TFlatFiler::ReadData(*in, read, rows, inputs, outputs);
    } catch (mbrk::TException&) {
      MBRK_FUZZ_CHECK(rows < 0 || inputs < 0 || outputs < 0);
      MBRK_FUZZ_CHECK(read == nullptr);
      return 0;
    }
    const std::unique_ptr<mbrk::Data> table(read);
    MBRK_FUZZ_CHECK(rows >= 0 && inputs >= 0 && outputs >= 0);
    MBRK_FUZZ_CHECK(table != nullptr && table->MbrNdxDataRows == rows);

    ref.clear();
    ref.str(text);  // read afresh for each
    std::fill(ref_inputs.begin(), ref_inputs.end(), 0.0);
    std::fill(ref_outputs.begin(), ref_outputs.end(), 0.0);
    std::vector<double> got(static_cast<std::size_t>(inputs > outputs ? inputs : outputs) + 1);
    for (std::int32_t row = 0; row < rows; ++row) {
      Reference(ref, text, ref_inputs);
      Reference(ref, text, ref_outputs);
      table->GetInputRow(row, got.data());
      for (std::int32_t k = 0; k < inputs; ++k) {
        MBRK_FUZZ_CHECK(mbrk::fuzz::SameValue(got[k], ref_inputs[k]));
      }
      table->GetOutputRow(row, got.data());
      for (std::int32_t k = 0; k < outputs; ++k) {
        MBRK_FUZZ_CHECK(mbrk::fuzz::SameValue(got[k], ref_outputs[k]));
      }
    }
    MBRK_FUZZ_CHECK(in->rdstate() == ref.rdstate());
    // Whatever follows the last row is left unread, and at the same place.
    const std::string rest = in == &whole ? text.substr(Position(whole)) : pieces.Rest();
    MBRK_FUZZ_CHECK(rest == text.substr(Position(ref)));
  }
  return 0;
}
