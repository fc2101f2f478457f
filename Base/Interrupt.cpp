#include "Base/internal/Interrupt.h"

#include <chrono>

namespace mbrk {

namespace {

using Clock = std::chrono::steady_clock;

// The check of this thread's innermost scope, how often PollInterrupt runs
// it, and when next.
thread_local InterruptCheck current_check = nullptr;
thread_local std::chrono::milliseconds current_interval = kPollInterval;
thread_local Clock::time_point next_poll{};

}  // namespace

const char* Interrupted::what() const noexcept { return "interrupted"; }

InterruptScope::InterruptScope(InterruptCheck check, std::chrono::milliseconds interval) noexcept
    : outer_check_(current_check), outer_interval_(current_interval) {
  current_check = check;
  current_interval = interval;
  next_poll = Clock::time_point{};  // the first poll checks at once
}

InterruptScope::~InterruptScope() {
  current_check = outer_check_;
  current_interval = outer_interval_;
}

void PollInterrupt() {
  if (current_check == nullptr) return;
  const Clock::time_point now = Clock::now();
  if (now < next_poll) return;
  next_poll = now + current_interval;
  current_check();
}

void CheckInterrupt() {
  if (current_check != nullptr) current_check();
}

}  // namespace mbrk
