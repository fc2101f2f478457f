// KQML messages, the typed side: parameters set from integers, numbers and
// booleans, values read back from texts, received messages checked, and the
// error replies (error :type KIND ...) in which every such failure is thrown.
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "Base/internal/Assert.h"
#include "Base/internal/NumberText.h"
#include "Base/internal/Text.h"
#include "KQmessage/KQML.h"

namespace mbrk {

namespace {

// An error reply of `type` with `details` as text parameters, in order.
[[noreturn]] void ThrowReply(const char* type,
                             std::initializer_list<std::pair<const char*, const char*>> details) {
  std::unique_ptr<TKQstructure> reply(MakeErrorReply(type));
  for (const auto& detail : details) reply->SetTextParameter(detail.first, detail.second);
  throw TKQstructure::Error{reply.release()};
}

// The "%ld" reading of the start of `text`, limited to 32 bits: a value that
// does not fit is no integer at all rather than a wrapped or clipped one.
bool ScanInteger(const char* text, std::int32_t* value) {
  MBRK_ASSERT(text != nullptr);
  return ConvertInteger(text, std::strlen(text), value);
}

}  // namespace

// ---- Typed setters ----

void TKQstructure::SetTextParameter(const char* keyword, const char* value) {
  SetParameter(keyword, new TKQstructure(value));
}

// The number texts come from the toolkit's own formatting, not printf's:
// the host program's locale must not turn the point into a comma.
void TKQstructure::SetIntegerParameter(const char* keyword, std::int32_t value) {
  char text[kMaxIntegerText + 1];
  text[FormatInteger(value, text)] = '\0';
  SetTextParameter(keyword, text);
}

// Fixed notation has as many digits as the magnitude needs, never cut short.
void TKQstructure::SetNumberParameter(const char* keyword, double value) {
  SetTextParameter(keyword, FixedText(value, 6).c_str());
}

void TKQstructure::SetBooleanParameter(const char* keyword, bool value) {
  SetTextParameter(keyword, value ? "true" : "false");
}

// ---- Checking received messages ----

TKQstructure* TKQstructure::RequireParameter(const char* keyword) {
  TKQstructure* value = FindParameter(keyword);
  if (value == nullptr) ThrowReply("invalid-message", {{"expected", keyword}});
  return value;
}

const TKQstructure* TKQstructure::RequireParameter(const char* keyword) const {
  const TKQstructure* value = FindParameter(keyword);
  if (value == nullptr) ThrowReply("invalid-message", {{"expected", keyword}});
  return value;
}

void TKQstructure::CheckParameter(const char* keyword, const char* expected) const {
  MBRK_ASSERT(expected != nullptr);
  const TKQstructure* value = RequireParameter(keyword);
  if (expected[0] != '\0' && strcasecmp(value->MbrStrWord, expected) != 0) {
    ThrowReply("invalid-message", {{"tag", keyword}, {"expected-value", expected}});
  }
}

bool TKQstructure::ParseBoolean(const char* text) {
  MBRK_ASSERT(text != nullptr);
  if (strcasecmp(text, "TRUE") == 0) return true;
  if (strcasecmp(text, "FALSE") == 0) return false;
  ThrowReply("type-error", {{"expected", "boolean"}});
}

// ---- Free functions ----

std::int32_t AsInteger(const char* text) {
  std::int32_t value = 0;
  const int err = ScanInteger(text, &value) ? 1 : 0;
  MBRK_ASSERT(err == 1);
  return value;
}

std::int32_t ParseInteger(const char* text) {
  std::int32_t value = 0;
  if (!ScanInteger(text, &value)) ThrowReply("invalid-message", {{"integer-expected", text}});
  return value;
}

double AsNumber(const char* text) {
  double value = 0;
  const int err = ConvertLeadingNumber(text, &value) ? 1 : 0;
  MBRK_ASSERT(err == 1);
  return value;
}

double ParseNumber(const char* text) {
  double value = 0;
  if (!ConvertLeadingNumber(text, &value)) {
    ThrowReply("invalid-message", {{"number-expected", text}});
  }
  return value;
}

TKQstructure* MakeErrorReply(const char* type) {
  std::unique_ptr<TKQstructure> reply(new TKQstructure("error"));
  reply->SetTextParameter("type", type);
  return reply.release();
}

char* JoinArguments(int count, const char* const* arguments) {
  MBRK_ASSERT(count <= 1 || arguments != nullptr);
  std::size_t length = 0;
  for (int i = 1; i < count; ++i) {
    MBRK_ASSERT(arguments[i] != nullptr);
    length += std::strlen(arguments[i]) + 1;
  }
  char* const text = new char[length + 1];
  char* p = text;
  for (int i = 1; i < count; ++i) {
    const std::size_t n = std::strlen(arguments[i]);
    std::memcpy(p, arguments[i], n);
    p += n;
    *p++ = ' ';
  }
  *p = '\0';
  return text;
}

}  // namespace mbrk
