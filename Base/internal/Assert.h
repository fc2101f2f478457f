// Internal consistency checks of the toolkit.
//
// A violated condition is a bug in the toolkit or in its caller, never a
// property of input: malformed files are rejected with an exception before
// they could reach one of these checks.
#ifndef MBRK_BASE_INTERNAL_ASSERT_H
#define MBRK_BASE_INTERNAL_ASSERT_H

namespace mbrk {

/// Writes "Assertion failed: COND, file FILE, line N" to standard error and
/// ends the process abnormally.
[[noreturn]] void AssertionFailed(const char* condition, const char* file, int line) noexcept;

}  // namespace mbrk

/// Checked in every build type: the checks guard memory safety, not just debugging.
#define MBRK_ASSERT(cond) \
  ((cond) ? static_cast<void>(0) : ::mbrk::AssertionFailed(#cond, __FILE__, __LINE__))

#endif  // MBRK_BASE_INTERNAL_ASSERT_H
