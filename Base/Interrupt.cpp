#include "Base/internal/Interrupt.h"

namespace mbrk {

namespace {

// The calling thread's innermost scope.
thread_local InterruptScope* current_scope = nullptr;

}  // namespace

const char* Interrupted::what() const noexcept { return "interrupted"; }

InterruptScope::InterruptScope(InterruptCheck check, std::chrono::milliseconds interval) noexcept
    : check_(check), interval_(interval), outer_(current_scope) {
  current_scope = this;
}

InterruptScope::~InterruptScope() { current_scope = outer_; }

void InterruptScope::Run() {
  if (stopped_) throw Interrupted();
  try {
    check_();
  } catch (...) {
    stopped_ = true;
    throw;
  }
}

void PollInterrupt() {
  InterruptScope* const scope = current_scope;
  if (scope == nullptr || scope->check_ == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < scope->next_poll_ && !scope->stopped_) return;
  scope->next_poll_ = now + scope->interval_;
  scope->Run();
}

void CheckInterrupt() {
  InterruptScope* const scope = current_scope;
  if (scope != nullptr && scope->check_ != nullptr) scope->Run();
}

}  // namespace mbrk
