// The KQML parser with a round trip: a text that parses prints to a text that
// parses again and prints the same. Copies print the same as their original.
// Rejected texts must come back as null with nothing leaked.
#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "KQmessage/KQML.h"
#include "fuzz/FuzzSupport.h"

namespace {

using mbrk::TKQstructure;

std::string Printed(const TKQstructure& message) {
  std::ostringstream text;
  const mbrk::fuzz::Redirect to_text(std::cout, text.rdbuf());
  message.Print();
  return text.str();
}

std::unique_ptr<TKQstructure> Parse(const std::string& text, bool whole) {
  const char* cursor = text.c_str();
  std::unique_ptr<TKQstructure> parsed(whole ? TKQstructure::ParseMessage(&cursor)
                                             : TKQstructure::ParseExpression(&cursor));
  MBRK_FUZZ_CHECK(cursor >= text.c_str() && cursor <= text.c_str() + text.size());
  return parsed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static mbrk::fuzz::NullBuffer silence;
  // Rejections are announced on standard error; a fuzzer's run would drown in them.
  const mbrk::fuzz::Redirect quiet(std::cerr, &silence);
  const std::string input(reinterpret_cast<const char*>(data), size);

  // The first expression alone, then the whole text as one message.
  for (const bool whole : {false, true}) {
    const std::unique_ptr<TKQstructure> first = Parse(input, whole);
    if (first == nullptr) continue;
    const std::string printed = Printed(*first);
    MBRK_FUZZ_CHECK(!printed.empty());
    const std::unique_ptr<TKQstructure> second = Parse(printed, true);
    MBRK_FUZZ_CHECK(second != nullptr);
    const std::string reprinted = Printed(*second);
    MBRK_FUZZ_CHECK(printed == reprinted);

    const TKQstructure copy(*second);
    MBRK_FUZZ_CHECK(Printed(copy) == printed);
    TKQstructure assigned;
    assigned = *first;
    MBRK_FUZZ_CHECK(Printed(assigned) == printed);
  }
  return 0;
}
