// KQML messages, the text form: printing a structure and parsing one from
// text, both without recursion, and the token reader they share.
#include <cstddef>
#include <cstring>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#include "Base/internal/Assert.h"
#include "Base/internal/Text.h"
#include "KQmessage/KQML.h"

namespace mbrk {

namespace {

// The special characters of the message grammar.
constexpr char kSpecials[] = "():";

using Text = std::unique_ptr<char[]>;

Text ReadToken(const char** cursor, const char* specials) {
  return Text(NextToken(cursor, specials));
}

// Bytes outside "!".."~" separate tokens: control characters, the blank, DEL
// and every byte of an 8-bit code page above it.
bool IsPrintable(char c) {
  const int byte = ByteOf(c);
  return byte >= 33 && byte <= 126;
}

bool IsToken(const char* token, char c) { return token[0] == c && token[1] == '\0'; }

}  // namespace

// ---- Text form ----

// The open messages are kept on a list with the next entry to print, so depth
// costs no stack.
void TKQstructure::Print() const {
  std::ostream& out = std::cout;
  struct Open {
    const TKQstructure* message;
    std::int32_t next;
  };
  std::vector<Open> open;
  const TKQstructure* node = this;
  while (node != nullptr) {
    if (node->MbrLngParameters == 0) {
      out << node->MbrStrWord;
    } else {
      out << '(' << node->MbrStrWord;
      open.push_back({node, 0});
    }
    node = nullptr;
    while (node == nullptr && !open.empty()) {
      Open& top = open.back();
      if (top.next < top.message->MbrLngParameters) {
        const TKQparameter& entry = top.message->MbrDyaParameters[top.next++];
        out << " :" << entry.MbrStrKeyword << ' ';
        node = entry.MbrPtrValue;
      } else {
        out << ')';
        open.pop_back();
      }
    }
  }
}

std::ostream& TKQstructure::PrintLine() const {
  Print();
  return std::cout << std::endl;
}

char* NextToken(const char** cursor, const char* specials) {
  MBRK_ASSERT(cursor != nullptr && *cursor != nullptr && specials != nullptr);
  const char* p = *cursor;
  while (*p != '\0' && !IsPrintable(*p)) ++p;
  const char* const start = p;
  if (*p != '\0') {
    if (std::strchr(specials, *p) != nullptr) {
      ++p;
    } else {
      // A ":" inside a word belongs to it, so price:usd stays one word.
      while (IsPrintable(*p) && (*p == ':' || std::strchr(specials, *p) == nullptr)) ++p;
    }
  }
  char* const token = NewText(start, static_cast<std::size_t>(p - start));
  *cursor = p;
  return token;
}

bool ExpectWord(char c) {
  if (c != '\0' && c != '(' && c != ')' && c != ':') return true;
  std::cerr << "special character unexpected" << std::endl;
  return false;
}

// The messages still open are kept on a list, each with the keyword whose
// value is being read, so depth costs no stack; kMaxNesting bounds the list.
// Every early return releases the tokens and partial structures read so far.
TKQstructure* TKQstructure::ParseExpression(const char** cursor) {
  struct Open {
    std::unique_ptr<TKQstructure> message;
    Text keyword;  // awaiting its value
  };
  std::vector<Open> open;
  for (;;) {
    // An expression begins: an atom, or a message that opens.
    std::unique_ptr<TKQstructure> complete;
    Text token = ReadToken(cursor, kSpecials);
    if (IsToken(token.get(), '(')) {
      if (open.size() >= static_cast<std::size_t>(kMaxNesting)) return nullptr;
      Text performative = ReadToken(cursor, kSpecials);
      if (!ExpectWord(performative[0])) return nullptr;
      open.push_back({std::unique_ptr<TKQstructure>(
                          new TKQstructure(std::move(performative), kInitialCapacity)),
                      nullptr});
    } else {
      if (!ExpectWord(token[0])) return nullptr;
      complete.reset(new TKQstructure(std::move(token), kInitialCapacity));
    }
    // Hand finished expressions to the message awaiting them and close
    // messages, until a keyword asks for the next value.
    for (;;) {
      if (complete) {
        if (open.empty()) return complete.release();
        Open& top = open.back();
        top.message->SetParameter(top.keyword.get(), complete.release());
        top.keyword.reset();
      }
      Text next = ReadToken(cursor, kSpecials);
      if (IsToken(next.get(), ')')) {
        complete = std::move(open.back().message);
        open.pop_back();
        continue;
      }
      if (!IsToken(next.get(), ':')) return nullptr;  // a word, "(" or the end of the text
      Text keyword = ReadToken(cursor, kSpecials);
      if (!ExpectWord(keyword[0])) return nullptr;
      open.back().keyword = std::move(keyword);
      break;
    }
  }
}

// With no special characters the rest of the text, if it holds anything
// printable, reads as one non-empty word.
TKQstructure* TKQstructure::ParseMessage(const char** cursor) {
  std::unique_ptr<TKQstructure> message(ParseExpression(cursor));
  if (message == nullptr) return nullptr;
  const Text rest = ReadToken(cursor, "");
  if (rest[0] != '\0') return nullptr;
  return message.release();
}

}  // namespace mbrk
