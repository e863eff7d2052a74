#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

// Runs work, which may block without any limit of its own (a name lookup), on
// a thread of its own, and waits for it up to timeoutMs or until aborted is
// set. True with its result in out when it finished in time. A call that
// overran keeps running detached and drops its result when it ends.
template <typename Result, typename Work>
bool RunBounded(Work work, int timeoutMs, const std::atomic<bool>& aborted, Result& out) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    Result result{};
  };
  const auto shared = std::make_shared<Shared>();
  std::thread([shared, work = std::move(work)]() mutable {
    Result result = work();
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->result = std::move(result);
    shared->done = true;
    shared->finished.notify_all();
  }).detach();

  // Abort only sets a flag, so the wait looks at it every few milliseconds.
  constexpr auto kSlice = std::chrono::milliseconds(20);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(shared->mutex);
  while (!shared->done && !aborted) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    shared->finished.wait_for(lock, std::min<std::chrono::steady_clock::duration>(kSlice,
                                                                                  deadline - now));
  }
  if (!shared->done || aborted) return false;
  out = std::move(shared->result);
  return true;
}
