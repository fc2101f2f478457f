#include "Base/internal/Interrupt.h"

#include <chrono>

namespace mbrk {

namespace {

using Clock = std::chrono::steady_clock;

// The check of this thread's innermost scope, and when PollInterrupt runs it
// next.
thread_local InterruptCheck current_check = nullptr;
thread_local Clock::time_point next_poll{};

}  // namespace

const char* Interrupted::what() const noexcept { return "interrupted"; }

InterruptScope::InterruptScope(InterruptCheck check) noexcept : outer_(current_check) {
  current_check = check;
  next_poll = Clock::time_point{};  // the first poll checks at once
}

InterruptScope::~InterruptScope() { current_check = outer_; }

void PollInterrupt() {
  if (current_check == nullptr) return;
  const Clock::time_point now = Clock::now();
  if (now < next_poll) return;
  next_poll = now + std::chrono::milliseconds(kPollInterval);
  current_check();
}

void CheckInterrupt() {
  if (current_check != nullptr) current_check();
}

}  // namespace mbrk
