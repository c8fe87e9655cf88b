// A second thread for work shared out in many short turns, or in two parts at once.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

namespace qv {

// A second thread that runs one task each time it is started, and waits in between, for work
// shared out in turns too short (tens or hundreds of microseconds) to start a thread for each:
// the updates of an elimination, the candidates of one junction in a profile scan. Each side
// waits for the other by spinning a while, then sleeps until woken: on a machine where other
// threads want the cores (two fits at once), a sleeping waiter leaves its core to them, where
// one that yields it would take it back at once and again. Without a thread to be had,
// Running() is false and the caller does the whole task itself.
class TPartner {
 public:
  TPartner(bool wanted, std::function<void()> task) : task_(std::move(task)) {
    if (!wanted || std::thread::hardware_concurrency() < 2) return;
    try {
      thread_ = std::thread([this]() { Loop(); });
    } catch (const std::system_error&) {
      // No thread: the caller works alone.
    }
  }
  TPartner(const TPartner&) = delete;
  TPartner& operator=(const TPartner&) = delete;
  ~TPartner() {
    if (!thread_.joinable()) return;
    stop_.store(true, std::memory_order_release);
    started_.fetch_add(1, std::memory_order_release);  // wakes a sleeping partner to stop
    started_.notify_one();
    thread_.join();
  }
  bool Running() const { return thread_.joinable(); }
  // Runs the task once on the partner; Wait() returns when it has finished.
  void Start() {
    started_.store(++round_, std::memory_order_release);
    started_.notify_one();  // no system call unless the partner sleeps
  }
  void Wait() const {
    unsigned done = 0;
    for (TSpin spin; (done = finished_.load(std::memory_order_acquire)) != round_;) {
      if (spin.Long()) finished_.wait(done, std::memory_order_acquire);
    }
  }
  // Wait() when the partner has begun the task; when it has not (on a busy machine it may not
  // have had a core since), takes the task back instead, and returns false: the caller runs it
  // itself rather than wait for the partner to be scheduled.
  bool Finish() {
    unsigned taken = taken_.load(std::memory_order_acquire);
    if (taken != round_ && taken_.compare_exchange_strong(taken, round_)) return false;
    Wait();
    return true;
  }

 private:
  // A wait spins for this long before it sleeps. Measured on two cores: with Toler's two fits
  // at once (100 x 297) every longer spin is paid in the other fit's time (0.38 s at 10 us,
  // 0.49 s at 100, 0.80 s at 400), and with one fit (Silva and Toler, 75 x 296) a count of
  // 2^14 spins, a few microseconds, slept 72,000 times and took 9.4 s against 7.8 s at 10 us.
  static constexpr std::chrono::microseconds kSpinTime{10};
  class TSpin {
   public:
    // Whether the wait has spun for kSpinTime (the clock is read every 64 spins).
    bool Long() {
      if ((++spins_ & 63) != 0) return false;
      const auto now = std::chrono::steady_clock::now();
      if (spins_ == 64) start_ = now;
      return now - start_ >= kSpinTime;
    }

   private:
    unsigned spins_ = 0;
    std::chrono::steady_clock::time_point start_;
  };
  void Loop() {
    unsigned seen = 0;
    for (;;) {
      unsigned now = seen;
      for (TSpin spin; (now = started_.load(std::memory_order_acquire)) == seen;) {
        if (stop_.load(std::memory_order_acquire)) return;
        if (spin.Long()) started_.wait(seen, std::memory_order_acquire);
      }
      if (stop_.load(std::memory_order_acquire)) return;
      seen = now;
      // The round is the partner's unless the caller has taken it (or a later one) back.
      unsigned taken = taken_.load(std::memory_order_acquire);
      if (taken >= now || !taken_.compare_exchange_strong(taken, now)) continue;
      task_();
      finished_.store(seen, std::memory_order_release);
      finished_.notify_one();
    }
  }

  std::function<void()> task_;
  std::thread thread_;
  std::atomic<unsigned> started_{0}, finished_{0};
  std::atomic<unsigned> taken_{0};  // the last round begun, by the partner or taken back
  std::atomic<bool> stop_{false};
  unsigned round_ = 0;  // the caller's count of starts
};

// Runs independent work in pieces, work(piece, pieces): the pieces 0 and 1 of 2, the second on a
// second thread, when `wanted` and a thread is to be had; otherwise the one piece 0 of 1 here.
// Each piece must write only what is its own. An exception from either piece is thrown here once
// both have ended (this thread's first).
template <class TWork>
void RunInTwo(bool wanted, const TWork& work) {
  if (wanted && std::thread::hardware_concurrency() > 1) {
    std::exception_ptr otherError;
    std::thread helper;
    try {
      helper = std::thread([&work, &otherError]() {
        try {
          work(1, 2);
        } catch (...) {
          otherError = std::current_exception();
        }
      });
    } catch (...) {
      // No thread to be had (or no memory for one): the whole work here.
    }
    if (helper.joinable()) {
      std::exception_ptr error;
      try {
        work(0, 2);
      } catch (...) {
        error = std::current_exception();
      }
      helper.join();
      if (error) std::rethrow_exception(error);
      if (otherError) std::rethrow_exception(otherError);
      return;
    }
  }
  work(0, 1);
}

}  // namespace qv
