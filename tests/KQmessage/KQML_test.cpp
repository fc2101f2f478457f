#include "KQmessage/KQML.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "DataObject/Exceptions.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

using Structure = std::unique_ptr<TKQstructure>;
using test::Printed;
using test::ReplyOf;

const std::string kComplaint = "special character unexpected\n";

// What parsing a text gave: the structure (null when rejected), the printed
// form, everything written to standard error and how far the cursor went.
struct Parsed {
  Structure message;
  std::string printed;
  std::string err;
  std::size_t consumed = 0;
};

Parsed Parse(const std::string& text, bool whole_message = true) {
  Parsed result;
  const char* cursor = text.c_str();
  testing::internal::CaptureStderr();
  result.message.reset(whole_message ? TKQstructure::ParseMessage(&cursor)
                                     : TKQstructure::ParseExpression(&cursor));
  result.err = testing::internal::GetCapturedStderr();
  result.consumed = static_cast<std::size_t>(cursor - text.c_str());
  if (result.message) result.printed = Printed(*result.message);
  return result;
}

std::vector<std::string> Tokens(const char* text, const char* specials) {
  std::vector<std::string> tokens;
  const char* cursor = text;
  for (;;) {
    std::unique_ptr<char[]> token(NextToken(&cursor, specials));
    if (token[0] == '\0') break;
    tokens.emplace_back(token.get());
  }
  EXPECT_EQ('\0', *cursor) << "the cursor stays on the terminator";
  return tokens;
}

// Runs `body` on a thread with a small stack, so that any walk of a deep
// structure that recursed would overflow it and crash the test.
void RunOnSmallStack(std::function<void()> body) {
  pthread_attr_t attr;
  ASSERT_EQ(0, pthread_attr_init(&attr));
  ASSERT_EQ(0, pthread_attr_setstacksize(&attr, 512 * 1024));
  pthread_t thread;
  auto trampoline = [](void* arg) -> void* {
    (*static_cast<std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(0, pthread_create(&thread, &attr, trampoline, &body));
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// ---- Construction and printing ----

TEST(TKQstructure, NewStructuresAreAtomsWithRoomForSixteen) {
  TKQstructure unknown;
  EXPECT_STREQ("unknown", unknown.MbrStrWord);
  EXPECT_EQ(16, unknown.MbrLngCapacity);
  EXPECT_EQ(0, unknown.MbrLngParameters);

  char word[] = "hello";
  TKQstructure atom(word);
  word[0] = 'J';
  EXPECT_STREQ("hello", atom.MbrStrWord);
  EXPECT_EQ(16, atom.MbrLngCapacity);
  EXPECT_EQ("hello", Printed(atom));
}

TEST(TKQstructure, PrintsMessagesWithTheirEntriesInOrder) {
  TKQstructure data("data");
  data.SetIntegerParameter("rows", 10);
  data.SetIntegerParameter("inputs", 3);
  EXPECT_EQ("(data :rows 10 :inputs 3)", Printed(data));

  TKQstructure ask("ask");
  auto* content = new TKQstructure("tell");
  content->SetTextParameter("x", "1");
  ask.SetParameter("content", content);
  ask.SetParameter("empty", new TKQstructure("tell"));  // no parameters: printed as a word
  ask.SetTextParameter("note", "two (words)");          // printed as it is, unquoted
  EXPECT_EQ("(ask :content (tell :x 1) :empty tell :note two (words))", Printed(ask));
}

TEST(TKQstructure, PrintLineEndsTheLineOnStandardOutput) {
  TKQstructure reply("error");
  reply.SetTextParameter("type", "invalid-message");
  testing::internal::CaptureStdout();
  std::ostream& out = reply.PrintLine();
  EXPECT_EQ("(error :type invalid-message)\n", testing::internal::GetCapturedStdout());
  EXPECT_EQ(&std::cout, &out);
}

TEST(TKQstructure, TypedSettersFormTheirTexts) {
  struct Case {
    std::function<void(TKQstructure&)> set;
    const char* printed;
  };
  const Case cases[] = {
      {[](TKQstructure& s) { s.SetIntegerParameter("n", -7); }, "-7"},
      {[](TKQstructure& s) { s.SetIntegerParameter("n", 0); }, "0"},
      {[](TKQstructure& s) {
         s.SetIntegerParameter("n", std::numeric_limits<std::int32_t>::min());
       },
       "-2147483648"},
      {[](TKQstructure& s) {
         s.SetIntegerParameter("n", std::numeric_limits<std::int32_t>::max());
       },
       "2147483647"},
      {[](TKQstructure& s) { s.SetNumberParameter("n", 0.5); }, "0.500000"},
      {[](TKQstructure& s) { s.SetNumberParameter("n", 1e6); }, "1000000.000000"},
      {[](TKQstructure& s) { s.SetNumberParameter("n", -2); }, "-2.000000"},
      {[](TKQstructure& s) { s.SetNumberParameter("n", 1e-9); }, "0.000000"},
      {[](TKQstructure& s) { s.SetBooleanParameter("n", true); }, "true"},
      {[](TKQstructure& s) { s.SetBooleanParameter("n", false); }, "false"},
      {[](TKQstructure& s) { s.SetTextParameter("n", "c:d"); }, "c:d"},
  };
  for (const Case& c : cases) {
    TKQstructure s("m");
    c.set(s);
    EXPECT_EQ(std::string("(m :n ") + c.printed + ")", Printed(s));
  }
}

// Beyond 256 characters the fixed-notation text must come out whole.
TEST(TKQstructure, HugeNumberParameterKeepsItsFullText) {
  std::vector<char> expected(400);
  const int length = std::snprintf(expected.data(), expected.size(), "%f", 1e300);
  ASSERT_EQ(308, length);  // 301 digits, the point and six decimals
  TKQstructure s("m");
  s.SetNumberParameter("n", 1e300);
  EXPECT_EQ(std::string(expected.data()), s.GetParameter("n")->MbrStrWord);
  s.SetNumberParameter("n", -1.7976931348623157e308);
  EXPECT_EQ(317u, std::string(s.GetParameter("n")->MbrStrWord).size());
}

// The number setters write what "%f" and "%ld" write in the "C" locale, byte
// for byte, at the edges of both, and go on doing so when the program has set
// a locale whose decimal mark is a comma (where one is installed).
TEST(TKQstructure, NumberSettersWritePrintfsCLocaleTextsInAnyLocale) {
  const double numbers[] = {0.0,
                            -0.0,
                            1.0,
                            -2.0,
                            0.5,
                            0.1,
                            2.0 / 3,
                            -123456.789,
                            0.0078125,  // 0.007812|5: a tie, to even
                            0.0234375,  // 0.023437|5: a tie, to even
                            0.0000005,
                            -0.0000005,
                            1e-7,
                            9.9999995,
                            999999.9999995,
                            DBL_MIN,
                            -DBL_TRUE_MIN,
                            4503599627370495.5,
                            9007199254740993.0,
                            1e22,
                            1e300,
                            -DBL_MAX,
                            HUGE_VAL,
                            -HUGE_VAL,
                            std::nan(""),
                            -std::nan("")};
  const std::int32_t integers[] = {0, -1, 7, 10, -2147483647 - 1, 2147483647, 1000000};
  std::vector<std::string> wanted;
  std::vector<char> text(400);
  for (double n : numbers) {
    std::snprintf(text.data(), text.size(), "%f", n);
    wanted.emplace_back(text.data());
  }
  for (std::int32_t n : integers) {
    std::snprintf(text.data(), text.size(), "%ld", static_cast<long>(n));
    wanted.emplace_back(text.data());
  }
  const std::string before = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_ALL, locale) == nullptr) continue;
    std::snprintf(text.data(), text.size(), "%.1f", 0.5);
    SCOPED_TRACE(std::string(locale) + ", where printf writes 0.5 as " + text.data());
    TKQstructure s("m");
    std::size_t k = 0;
    for (double n : numbers) {
      s.SetNumberParameter("n", n);
      EXPECT_EQ(wanted[k++], s.GetParameter("n")->MbrStrWord) << n;
    }
    for (std::int32_t n : integers) {
      s.SetIntegerParameter("n", n);
      EXPECT_EQ(wanted[k++], s.GetParameter("n")->MbrStrWord) << n;
    }
  }
  std::setlocale(LC_ALL, before.c_str());
}

// ---- Parameters ----

TEST(TKQstructure, SettingAKeywordAgainReplacesItsValueInPlace) {
  TKQstructure data("data");
  data.SetIntegerParameter("rows", 10);
  data.SetIntegerParameter("inputs", 3);
  data.SetIntegerParameter("rows", 12);
  EXPECT_EQ("(data :rows 12 :inputs 3)", Printed(data));
  data.SetIntegerParameter("ROWS", 14);
  EXPECT_EQ("(data :rows 14 :inputs 3)", Printed(data));
  EXPECT_EQ(2, data.MbrLngParameters);
}

// Handing an entry its own value must neither destroy it nor change anything.
TEST(TKQstructure, SettingTheCurrentValueAgainChangesNothing) {
  TKQstructure s("m");
  s.SetTextParameter("k", "v");
  s.SetParameter("K", s.GetParameter("k"));
  EXPECT_EQ("(m :k v)", Printed(s));
}

TEST(TKQstructure, FindAndGetIgnoreCase) {
  TKQstructure s("m");
  s.SetTextParameter("Content", "x");
  const TKQstructure& view = s;
  ASSERT_NE(nullptr, s.FindParameter("CONTENT"));
  EXPECT_STREQ("x", view.FindParameter("content")->MbrStrWord);
  EXPECT_EQ(s.FindParameter("content"), s.GetParameter("cOnTeNt"));
  EXPECT_EQ(view.GetParameter("content"), s.GetParameter("content"));
  EXPECT_EQ(nullptr, s.FindParameter("contents"));
  EXPECT_EQ(nullptr, view.FindParameter(""));
}

TEST(TKQstructure, RemovalMovesTheLastEntryIntoTheGap) {
  TKQstructure s("m");
  s.SetTextParameter("a", "1");
  s.SetTextParameter("b", "2");
  s.SetTextParameter("c", "3");
  s.RemoveParameter("A");
  EXPECT_EQ("(m :c 3 :b 2)", Printed(s));
  s.RemoveParameter("missing");
  EXPECT_EQ("(m :c 3 :b 2)", Printed(s));
  s.RemoveParameter("b");
  EXPECT_EQ("(m :c 3)", Printed(s));
  s.RemoveParameter("c");
  EXPECT_EQ(0, s.MbrLngParameters);
  EXPECT_EQ("m", Printed(s));
  s.SetTextParameter("d", "4");
  EXPECT_EQ("(m :d 4)", Printed(s));
}

TEST(TKQstructure, CapacityDoublesFromSixteenAndCopiesFitTheirCount) {
  TKQstructure s("m");
  for (int i = 0; i < 16; ++i) s.SetIntegerParameter(("k" + std::to_string(i)).c_str(), i);
  EXPECT_EQ(16, s.MbrLngCapacity);
  s.SetIntegerParameter("k16", 16);
  EXPECT_EQ(32, s.MbrLngCapacity);
  EXPECT_EQ(17, s.MbrLngParameters);
  EXPECT_STREQ("k0", s.MbrDyaParameters[0].MbrStrKeyword);
  EXPECT_STREQ("16", s.GetParameter("k16")->MbrStrWord);

  TKQstructure wide(s);
  EXPECT_EQ(17, wide.MbrLngCapacity);
  wide.SetTextParameter("more", "x");
  EXPECT_EQ(34, wide.MbrLngCapacity);

  TKQstructure three("m");
  three.SetTextParameter("a", "1");
  three.SetTextParameter("b", "2");
  three.SetTextParameter("c", "3");
  TKQstructure copy(three);
  EXPECT_EQ(3, copy.MbrLngCapacity);
  copy.SetTextParameter("d", "4");
  EXPECT_EQ(16, copy.MbrLngCapacity);

  TKQstructure atom("x");
  TKQstructure atom_copy(atom);
  EXPECT_EQ(0, atom_copy.MbrLngCapacity);
  atom_copy.SetTextParameter("a", "1");
  EXPECT_EQ(16, atom_copy.MbrLngCapacity);

  TKQstructure assigned("y");
  assigned = three;
  EXPECT_EQ(3, assigned.MbrLngCapacity);
  EXPECT_EQ("(m :a 1 :b 2 :c 3)", Printed(assigned));
}

// A message of many parameters answers as a short one does: keywords are
// found ignoring case, a keyword set again keeps its place and spelling, a
// removal moves the last entry into the gap, and a copy answers alike.
TEST(TKQstructure, ManyParametersKeepTheirOrderAndAnswers) {
  constexpr int kParameters = 50000;
  const auto key = [](int i) { return "k" + std::to_string(i); };
  std::string text = "(m";
  std::string printed = "(m";
  for (int i = 0; i < kParameters; ++i) {
    text += " :" + key(i) + " v" + std::to_string(i);
    printed += " :" + key(i) + (i == 7 ? " again" : " v" + std::to_string(i));
  }
  const Parsed parsed = Parse(text + " :K7 again)");
  ASSERT_NE(nullptr, parsed.message);
  EXPECT_EQ(printed + ")", parsed.printed);
  TKQstructure& m = *parsed.message;

  m.RemoveParameter("K100");
  EXPECT_EQ(kParameters - 1, m.MbrLngParameters);
  EXPECT_STREQ("k49999", m.MbrDyaParameters[100].MbrStrKeyword);
  EXPECT_EQ(nullptr, m.FindParameter("k100"));
  m.SetTextParameter("k100", "back");
  EXPECT_STREQ("k100", m.MbrDyaParameters[kParameters - 1].MbrStrKeyword);

  const TKQstructure copy(m);
  int wrong = 0;
  for (int i = 0; i < kParameters; ++i) {
    const std::string want = i == 7 ? "again" : i == 100 ? "back" : "v" + std::to_string(i);
    const TKQstructure* value = copy.FindParameter(("K" + std::to_string(i)).c_str());
    if (value == nullptr || want != value->MbrStrWord) ++wrong;
  }
  EXPECT_EQ(0, wrong);
}

TEST(TKQstructure, CopiesAreDeep) {
  TKQstructure ask("ask");
  auto* content = new TKQstructure("tell");
  content->SetTextParameter("x", "1");
  ask.SetParameter("content", content);

  TKQstructure copy(ask);
  EXPECT_NE(ask.MbrStrWord, copy.MbrStrWord);
  EXPECT_NE(ask.GetParameter("content"), copy.GetParameter("content"));
  EXPECT_NE(ask.MbrDyaParameters[0].MbrStrKeyword, copy.MbrDyaParameters[0].MbrStrKeyword);
  copy.GetParameter("content")->SetTextParameter("x", "2");
  EXPECT_EQ("(ask :content (tell :x 1))", Printed(ask));
  EXPECT_EQ("(ask :content (tell :x 2))", Printed(copy));

  TKQstructure assigned;
  assigned = ask;
  ask.RemoveParameter("content");
  EXPECT_EQ("(ask :content (tell :x 1))", Printed(assigned));
}

TEST(TKQstructure, SelfAssignmentLeavesTheStructureUnchanged) {
  TKQstructure s("m");
  s.SetTextParameter("a", "1");
  const TKQparameter* entries = s.MbrDyaParameters;
  s = *&s;
  EXPECT_EQ("(m :a 1)", Printed(s));
  EXPECT_EQ(entries, s.MbrDyaParameters);
  EXPECT_EQ(16, s.MbrLngCapacity);
}

// The source lives inside the target's own tree: releasing the target first
// would read freed memory.
TEST(TKQstructure, AssignmentFromItsOwnValueIsSafe) {
  TKQstructure s("ask");
  auto* content = new TKQstructure("tell");
  content->SetTextParameter("x", "1");
  s.SetParameter("content", content);
  s = *s.GetParameter("content");
  EXPECT_EQ("(tell :x 1)", Printed(s));
}

TEST(TKQstructureDeathTest, CallerErrorsFailConsistencyChecks) {
  TKQstructure s("m");
  EXPECT_DEATH(s.SetParameter("k", nullptr), "Assertion failed: newval != NULL, file .*KQML\\.cpp");
  EXPECT_DEATH(s.GetParameter("missing"), "Assertion failed: 0, file .*KQML\\.cpp, line [0-9]+");
  EXPECT_DEATH(AsInteger("abc"), "Assertion failed: err == 1, file");
  EXPECT_DEATH(AsInteger("2147483648"), "Assertion failed: err == 1, file");
  EXPECT_DEATH(AsNumber(""), "Assertion failed: err == 1, file");
}

// ---- Tokens ----

TEST(NextToken, SplitsTextIntoWordsAndSpecialCharacters) {
  struct Case {
    const char* text;
    const char* specials;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"(ask :x y)", "():", {"(", "ask", ":", "x", "y", ")"}},
      {"(a :b c:d)", "():", {"(", "a", ":", "b", "c:d", ")"}},
      {"(a:b)", "():", {"(", "a:b", ")"}},
      {"a: :b", "():", {"a:", ":", "b"}},
      {"price:usd)(", "():", {"price:usd", ")", "("}},
      {"\"quoted text\"", "():", {"\"quoted", "text\""}},
      // Control characters, DEL and bytes of an 8-bit code page separate.
      {"\001hi\177there\200x\377y\tz\r\n", "():", {"hi", "there", "x", "y", "z"}},
      {"(a :b c)", "", {"(a", ":b", "c)"}},
      {"   ", "():", {}},
      {"", "", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.tokens, Tokens(c.text, c.specials)) << c.text;
}

TEST(NextToken, EndOfTextGivesTheEmptyTokenAndKeepsTheCursor) {
  const char* text = "word  ";
  const char* cursor = text;
  std::unique_ptr<char[]> word(NextToken(&cursor, "():"));
  EXPECT_STREQ("word", word.get());
  EXPECT_EQ(text + 4, cursor);
  std::unique_ptr<char[]> end(NextToken(&cursor, "():"));
  EXPECT_STREQ("", end.get());
  EXPECT_EQ(text + 6, cursor);
  std::unique_ptr<char[]> again(NextToken(&cursor, "():"));
  EXPECT_STREQ("", again.get());
  EXPECT_EQ(text + 6, cursor);
}

TEST(ExpectWord, ComplainsOnceAboutEachSpecialCharacter) {
  for (const char c : {'\0', '(', ')', ':'}) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ExpectWord(c));
    EXPECT_EQ(kComplaint, testing::internal::GetCapturedStderr());
  }
  for (const char c : {'a', '"', '-', '~', '!'}) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(ExpectWord(c));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
  }
}

// ---- Parsing ----

TEST(ParseMessage, AcceptsAndRejectsTexts) {
  struct Case {
    const char* text;
    const char* printed;  // null: rejected
    bool complains;       // "special character unexpected" written once
  };
  const Case cases[] = {
      {"hello", "hello", false},
      {"(tell)", "tell", false},
      {"(ask :x y)", "(ask :x y)", false},
      {"  (ask\n:x\ty)  \r\n", "(ask :x y)", false},
      {"\x85(ask\x01:x\xffy)\x7f", "(ask :x y)", false},
      {"(ask : x y)", "(ask :x y)", false},
      {"(ask :Content x :content y)", "(ask :Content y)", false},
      {"(ask :X 1 :z 2 :x (a :b c))", "(ask :X (a :b c) :z 2)", false},
      {"(a :b c:d)", "(a :b c:d)", false},
      {"(a:b)", "a:b", false},
      {"(ask :content (tell :x (reply :y z)) :w v)", "(ask :content (tell :x (reply :y z)) :w v)",
       false},
      {"(ask :q \"a)", "(ask :q \"a)", false},
      // A word was due.
      {"", nullptr, true},
      {"   ", nullptr, true},
      {")", nullptr, true},
      {":x", nullptr, true},
      {"(", nullptr, true},
      {"((ask))", nullptr, true},
      {"(ask :x)", nullptr, true},
      {"(ask :x :y z)", nullptr, true},
      {"(ask :(x) y)", nullptr, true},
      {"(ask :", nullptr, true},
      {"(ask :x (tell :y))", nullptr, true},
      // Malformed without a complaint.
      {"(ask x)", nullptr, false},
      {"(ask (x))", nullptr, false},
      {"(ask :x y", nullptr, false},
      {"(ask", nullptr, false},
      {"(ask :x (tell :y z)", nullptr, false},
      {"(ask :x y) z", nullptr, false},
      {"(ask :x y))", nullptr, false},
      {"hello world", nullptr, false},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(c.text);
    if (c.printed == nullptr) {
      EXPECT_EQ(nullptr, parsed.message) << c.text;
    } else {
      EXPECT_EQ(c.printed, parsed.printed) << c.text;
    }
    EXPECT_EQ(c.complains ? kComplaint : "", parsed.err) << c.text;
  }
}

TEST(ParseMessage, RepeatedKeywordKeepsFirstSpellingAndPosition) {
  const Parsed parsed = Parse("(ask :Content x :other o :content y)");
  ASSERT_NE(nullptr, parsed.message);
  const TKQstructure& m = *parsed.message;
  EXPECT_STREQ("ask", m.MbrStrWord);
  ASSERT_EQ(2, m.MbrLngParameters);
  EXPECT_STREQ("Content", m.MbrDyaParameters[0].MbrStrKeyword);
  EXPECT_STREQ("y", m.MbrDyaParameters[0].MbrPtrValue->MbrStrWord);
  EXPECT_EQ(16, m.MbrLngCapacity);
}

TEST(ParseMessage, ConsumesTheWholeText) {
  const std::string text = "(ask :x y)  \n";
  EXPECT_EQ(text.size(), Parse(text).consumed);
}

TEST(ParseExpression, StopsJustAfterTheExpression) {
  struct Case {
    const char* text;
    const char* printed;
    std::size_t consumed;
  };
  const Case cases[] = {
      {"(ask :x y) z", "(ask :x y)", 10},
      {"  hello world", "hello", 7},
      {"price:usd)", "price:usd", 9},
      {"(tell)(more)", "tell", 6},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(c.text, /*whole_message=*/false);
    EXPECT_EQ(c.printed, parsed.printed) << c.text;
    EXPECT_EQ(c.consumed, parsed.consumed) << c.text;
    EXPECT_EQ("", parsed.err);
  }
}

TEST(ParseMessage, PrintedFormParsesBackToAnEqualStructure) {
  TKQstructure m("data");
  m.SetIntegerParameter("rows", 10);
  m.SetNumberParameter("scale", -0.25);
  auto* source = new TKQstructure("file");
  source->SetTextParameter("name", "a:b.mbrk");
  source->SetBooleanParameter("open", false);
  m.SetParameter("source", source);
  const std::string text = Printed(m);
  const Parsed parsed = Parse(text);
  ASSERT_NE(nullptr, parsed.message);
  EXPECT_EQ(text, parsed.printed);
}

// ---- Typed reading and error replies ----

TEST(ErrorReplies, EveryFailureThrowsItsReply) {
  TKQstructure ask("ask");
  auto* content = new TKQstructure("tell");
  content->SetTextParameter("x", "y");
  ask.SetParameter("content", content);
  ask.SetTextParameter("mode", "fast");
  const TKQstructure& view = ask;

  struct Case {
    std::function<void()> action;
    const char* reply;
  };
  const Case cases[] = {
      {[&] { ask.RequireParameter("sender"); }, "(error :type invalid-message :expected sender)"},
      {[&] { view.RequireParameter("Sender"); }, "(error :type invalid-message :expected Sender)"},
      {[&] { ask.CheckParameter("sender", ""); }, "(error :type invalid-message :expected sender)"},
      {[&] { ask.CheckParameter("sender", "x"); },
       "(error :type invalid-message :expected sender)"},
      {[&] { ask.CheckParameter("content", "ASK"); },
       "(error :type invalid-message :tag content :expected-value ASK)"},
      {[&] { ask.CheckParameter("MODE", "slow"); },
       "(error :type invalid-message :tag MODE :expected-value slow)"},
      {[] { TKQstructure::ParseBoolean("yes"); }, "(error :type type-error :expected boolean)"},
      {[] { TKQstructure::ParseBoolean("1"); }, "(error :type type-error :expected boolean)"},
      {[] { TKQstructure::ParseBoolean(""); }, "(error :type type-error :expected boolean)"},
      {[] { TKQstructure::ParseBoolean(" true"); }, "(error :type type-error :expected boolean)"},
      {[] { ParseInteger("abc"); }, "(error :type invalid-message :integer-expected abc)"},
      {[] { ParseInteger(""); }, "(error :type invalid-message :integer-expected )"},
      {[] { ParseInteger("-"); }, "(error :type invalid-message :integer-expected -)"},
      {[] { ParseInteger("+ 5"); }, "(error :type invalid-message :integer-expected + 5)"},
      // Outside 32 bits: not an integer, never a wrapped value.
      {[] { ParseInteger("2147483648"); },
       "(error :type invalid-message :integer-expected 2147483648)"},
      {[] { ParseNumber("x1"); }, "(error :type invalid-message :number-expected x1)"},
      {[] { ParseNumber(""); }, "(error :type invalid-message :number-expected )"},
      {[] { ParseNumber("."); }, "(error :type invalid-message :number-expected .)"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.reply, ReplyOf(c.action)) << c.reply;
  // The message being checked is left as it was.
  EXPECT_EQ("(ask :content (tell :x y) :mode fast)", Printed(ask));
}

TEST(ErrorReplies, PassingChecksThrowNothing) {
  TKQstructure m("request");
  auto* content = new TKQstructure("ask");
  content->SetTextParameter("x", "y");
  m.SetParameter("content", content);
  m.SetTextParameter("mode", "Fast");
  EXPECT_NO_THROW(m.CheckParameter("content", "ASK"));  // the performative of a message value
  EXPECT_NO_THROW(m.CheckParameter("CONTENT", ""));
  EXPECT_NO_THROW(m.CheckParameter("mode", "fAST"));
  EXPECT_EQ(m.FindParameter("content"), m.RequireParameter("Content"));
  EXPECT_TRUE(TKQstructure::ParseBoolean("True"));
  EXPECT_TRUE(TKQstructure::ParseBoolean("TRUE"));
  EXPECT_FALSE(TKQstructure::ParseBoolean("fAlSe"));

  // What the boolean setter writes reads back.
  TKQstructure b("m");
  b.SetBooleanParameter("on", true);
  EXPECT_TRUE(TKQstructure::ParseBoolean(b.GetParameter("on")->MbrStrWord));
}

TEST(Conversions, ReadTheNumberAtTheStartOfTheText) {
  // clang-format off
  const std::pair<const char*, std::int32_t> integers[] = {
      {"42xyz", 42},       {"  42", 42},       {"-17", -17},   {"+5", 5},
      {"\t\n 12 34", 12},  {"3.9", 3},         {"007", 7},     {"0x1A", 0},
      {"2147483647", 2147483647},              {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"00000000000000000000042", 42},
  };
  // clang-format on
  for (const auto& [text, value] : integers) {
    EXPECT_EQ(value, ParseInteger(text)) << text;
    EXPECT_EQ(value, AsInteger(text)) << text;
  }
  const std::pair<const char*, double> numbers[] = {
      {"1.5e3", 1500}, {"  -0.25x", -0.25}, {".5", 0.5}, {"7", 7}, {"+1e-2", 0.01}, {"2.5e", 2.5},
  };
  for (const auto& [text, value] : numbers) {
    EXPECT_DOUBLE_EQ(value, ParseNumber(text)) << text;
    EXPECT_DOUBLE_EQ(value, AsNumber(text)) << text;
  }
  EXPECT_EQ(0.1, ParseNumber("0.1"));  // full double precision
}

TEST(MakeErrorReply, BuildsAReplyOfTheType) {
  Structure reply(MakeErrorReply("not-understood"));
  EXPECT_EQ("(error :type not-understood)", Printed(*reply));
  reply->SetTextParameter("expected", "content");
  EXPECT_EQ("(error :type not-understood :expected content)", Printed(*reply));
}

TEST(JoinArguments, JoinsAllButTheProgramName) {
  const char* args[] = {"prog", "a", "b", "", "long word"};
  struct Case {
    int count;
    const char* joined;
  };
  const Case cases[] = {{3, "a b "}, {1, ""}, {0, ""}, {-1, ""}, {2, "a "}, {5, "a b  long word "}};
  for (const Case& c : cases) {
    std::unique_ptr<char[]> joined(JoinArguments(c.count, args));
    EXPECT_STREQ(c.joined, joined.get()) << c.count;
  }
  std::unique_ptr<char[]> none(JoinArguments(0, nullptr));
  EXPECT_STREQ("", none.get());
}

// ---- Ownership across exceptions ----

// The sanitizer build turns a structure released twice, or never, into a
// failure.
TEST(TExceptionDetail, CopiesTheDetailDeeplyAndReleasesEachStructureOnce) {
  auto* detail = new TKQstructure("data");
  detail->SetIntegerParameter("rows", 10);
  auto* source = new TKQstructure("file");
  source->SetTextParameter("name", "a.mbrk");
  detail->SetParameter("source", source);
  try {
    throw TException("Unable to open file", "File Error", "TFlatFiler::SaveData", detail);
  } catch (TException& caught) {
    ASSERT_EQ(detail, caught.MbrPtrDetail);
    TException copy(caught);
    ASSERT_NE(nullptr, copy.MbrPtrDetail);
    EXPECT_NE(caught.MbrPtrDetail, copy.MbrPtrDetail);
    EXPECT_NE(caught.MbrPtrDetail->GetParameter("source"),
              copy.MbrPtrDetail->GetParameter("source"));
    copy.MbrPtrDetail->GetParameter("source")->SetTextParameter("name", "b.mbrk");
    EXPECT_EQ("(data :rows 10 :source (file :name a.mbrk))", Printed(*caught.MbrPtrDetail));
    EXPECT_EQ("(data :rows 10 :source (file :name b.mbrk))", Printed(*copy.MbrPtrDetail));

    TException assigned("old", "older", "Old::Place", new TKQstructure("stale"));
    assigned = caught;
    EXPECT_EQ("(data :rows 10 :source (file :name a.mbrk))", Printed(*assigned.MbrPtrDetail));
    assigned = *&assigned;
    EXPECT_NE(caught.MbrPtrDetail, assigned.MbrPtrDetail);

    TException moved(std::move(copy));
    EXPECT_EQ(nullptr, copy.MbrPtrDetail);
    EXPECT_EQ("(data :rows 10 :source (file :name b.mbrk))", Printed(*moved.MbrPtrDetail));

    TException plain("Invalid Data Row");
    TException plain_copy(plain);
    EXPECT_EQ(nullptr, plain_copy.MbrPtrDetail);
  }
}

TEST(TKQstructureError, HandlerOwnsTheReply) {
  TKQstructure::Error error{nullptr};
  try {
    TKQstructure m("m");
    m.RequireParameter("content");
  } catch (TKQstructure::Error& caught) {
    error = caught;  // copies share the reply
  }
  Structure reply(error.MbrPtrReply);
  ASSERT_NE(nullptr, reply);
  EXPECT_STREQ("error", reply->MbrStrWord);
  EXPECT_STREQ("type", reply->MbrDyaParameters[0].MbrStrKeyword);
}

// ---- Depth ----

std::string Nested(int levels) {
  std::string text;
  text.reserve(static_cast<std::size_t>(levels) * 7 + 1);
  for (int i = 0; i < levels; ++i) text += "(a :b ";
  text += 'x';
  text.append(static_cast<std::size_t>(levels), ')');
  return text;
}

TEST(Depth, ParserAcceptsNestingUpToTheLimit) {
  RunOnSmallStack([] {
    const std::string text = Nested(TKQstructure::kMaxNesting);
    const Parsed parsed = Parse(text);
    ASSERT_NE(nullptr, parsed.message);
    EXPECT_EQ(text, parsed.printed);
    TKQstructure copy(*parsed.message);
    EXPECT_EQ(text, Printed(copy));
  });
}

// Deeper texts are malformed, silently, however deep they go; nothing read
// before the rejection survives it.
TEST(Depth, ParserRejectsNestingBeyondTheLimit) {
  RunOnSmallStack([] {
    for (const int levels : {TKQstructure::kMaxNesting + 1, 1000000}) {
      const Parsed parsed = Parse(Nested(levels));
      EXPECT_EQ(nullptr, parsed.message) << levels;
      EXPECT_EQ("", parsed.err) << levels;
    }
  });
}

// Structures built by hand have no depth limit: printing, copying, assigning
// and destroying them must still not recurse.
TEST(Depth, DeepStructuresBuiltByHandAreWalkedWithoutRecursion) {
  constexpr int kLevels = 100000;
  RunOnSmallStack([] {
    auto root = std::make_unique<TKQstructure>("a");
    TKQstructure* tip = root.get();
    for (int i = 0; i < kLevels; ++i) {
      auto* next = new TKQstructure("a");
      tip->SetParameter("b", next);
      tip = next;
    }
    tip->SetTextParameter("c", "x");
    tip->SetTextParameter("d", "y");

    std::string expected;
    for (int i = 0; i < kLevels; ++i) expected += "(a :b ";
    expected += "(a :c x :d y)";
    expected.append(kLevels, ')');
    EXPECT_EQ(expected, Printed(*root));

    TKQstructure copy(*root);
    EXPECT_EQ(1, copy.MbrLngCapacity);
    TKQstructure assigned("z");
    assigned = copy;
    root.reset();
    EXPECT_EQ(expected, Printed(assigned));
    assigned = *assigned.GetParameter("b");  // from a value deep in its own tree
    EXPECT_EQ(expected.substr(6, expected.size() - 7), Printed(assigned));
  });
}

}  // namespace
}  // namespace mbrk
