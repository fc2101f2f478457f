// The threads of a crew: started once, each round taken by all of them.
#include "Base/internal/ThreadCrew.h"

#include <system_error>

namespace mbrk {

ThreadCrew::ThreadCrew(unsigned threads) {
  try {
    helpers_.reserve(threads);
    for (unsigned t = 1; t < threads; ++t) helpers_.emplace_back([this] { Serve(); });
  } catch (const std::system_error&) {
    // No more threads to be had: fewer do the work.
  } catch (...) {
    Stop();
    throw;
  }
}

void ThreadCrew::Take() {
  for (std::size_t i = next_.fetch_add(1, std::memory_order_relaxed); i < count_;
       i = next_.fetch_add(1, std::memory_order_relaxed)) {
    call_(job_, i);
  }
}

// A helper's life: every round once, until stopped. Run waits for every
// helper to finish a round before it starts the next, so none is missed.
void ThreadCrew::Serve() {
  std::uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || round_ != seen; });
    if (stopping_) return;
    seen = round_;
    lock.unlock();
    Take();
    lock.lock();
    if (--working_ == 0) done_.notify_one();
  }
}

void ThreadCrew::Stop() noexcept {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
  helpers_.clear();
}

}  // namespace mbrk
