// Threads that run rounds of work together with the calling thread.
#ifndef MBRK_BASE_INTERNAL_THREADCREW_H
#define MBRK_BASE_INTERNAL_THREADCREW_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace mbrk {

/// Run(count, work) calls work(0) .. work(count - 1), each thread taking the
/// next item as it gets free, and returns when all are done. `work` must not
/// throw. A thread that cannot be started leaves its share to the others.
class ThreadCrew {
 public:
  /// `threads` counts the calling thread; the others are started here.
  explicit ThreadCrew(unsigned threads);
  ThreadCrew(const ThreadCrew&) = delete;
  ThreadCrew& operator=(const ThreadCrew&) = delete;
  ~ThreadCrew() { Stop(); }

  template <typename Work>
  void Run(std::size_t count, const Work& work) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      call_ = [](const void* job, std::size_t i) { (*static_cast<const Work*>(job))(i); };
      job_ = &work;
      count_ = count;
      next_.store(0, std::memory_order_relaxed);
      working_ = helpers_.size();
      ++round_;
    }
    wake_.notify_all();
    Take();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return working_ == 0; });
  }

 private:
  void Take();
  void Serve();
  void Stop() noexcept;

  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::uint64_t round_ = 0;
  std::size_t working_ = 0;
  bool stopping_ = false;
  void (*call_)(const void*, std::size_t) = nullptr;
  const void* job_ = nullptr;
  std::size_t count_ = 0;
  std::atomic<std::size_t> next_{0};
};

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_THREADCREW_H
