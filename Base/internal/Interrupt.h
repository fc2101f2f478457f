// Long work that its caller can stop. The readers and writers ask, between
// pieces of work and after a system call that a signal cut short, whether the
// thread that called them wants them to stop; an embedding (an interpreter
// whose user pressed Ctrl-C) answers by installing a check for the length of
// its call. A check stops the work by throwing: the exception leaves the call
// like any other failure, through destructors that release what was taken
// (threads the work started are stopped and joined), so nothing is left
// allocated or open. Internal: not installed.
#ifndef MBRK_BASE_INTERNAL_INTERRUPT_H
#define MBRK_BASE_INTERNAL_INTERRUPT_H

#include <chrono>
#include <exception>

namespace mbrk {

/// What a check throws to stop the work. It carries nothing: the embedding
/// that installed the check knows why it stopped (and has kept the reason).
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override;
};

/// A check: returns to let the work go on, throws (Interrupted, or whatever
/// the embedding likes) to stop it.
using InterruptCheck = void (*)();

/// The least time between two checks that PollInterrupt runs, by default.
inline constexpr std::chrono::milliseconds kPollInterval{20};

/// Installs `check` for the calling thread while the scope lives, and the one
/// before it again when it ends; a null check installs none. Scopes nest.
/// PollInterrupt runs it first at the first poll, then at most once every
/// `interval` (0: at every poll). Once it has thrown, the work is stopped for
/// good: every later poll and check in the scope throws Interrupted at once,
/// without running it (a stream's operations swallow what its buffer throws,
/// and the reader behind them must not go on).
class InterruptScope {
 public:
  explicit InterruptScope(InterruptCheck check,
                          std::chrono::milliseconds interval = kPollInterval) noexcept;
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  /// Whether the check has thrown: what the work gave after that (a result
  /// read from a stream that stopped short, another error) is not to be used.
  bool Stopped() const noexcept { return stopped_; }

 private:
  friend void PollInterrupt();
  friend void CheckInterrupt();
  void Run();

  InterruptCheck check_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point next_poll_{};  // the first poll checks at once
  bool stopped_ = false;
  InterruptScope* outer_;
};

/// Between two pieces of work: runs the calling thread's check, at most once
/// every interval of its scope (a call costs a clock reading otherwise, and
/// nothing at all on a thread without a check). The work is then stopped
/// within that interval plus the time of one piece. Call it on the thread
/// that called the toolkit, never on threads of the work's own.
void PollInterrupt();

/// After a system call that a signal cut short (EINTR): runs the calling
/// thread's check at once. When it returns, the call is to be made again.
void CheckInterrupt();

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_INTERRUPT_H
