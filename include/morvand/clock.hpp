#pragma once
/// Time base of the controller: every time reading and every wait goes through a Clock.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace morvand {

/// A monotonic time source that can also wait.
class Clock {
 public:
  virtual ~Clock() = default;
  /// Monotonic time since an arbitrary origin.
  virtual std::chrono::nanoseconds now() = 0;
  /// Suspends the caller for at least d (on a virtual clock: moves time on by d).
  virtual void sleepFor(std::chrono::nanoseconds d) = 0;
};

/// The steady clock of the machine; the default of every controller.
class SystemClock final : public Clock {
 public:
  std::chrono::nanoseconds now() override;
  void sleepFor(std::chrono::nanoseconds d) override;
  /// The process-wide instance used when a controller is given no clock.
  static SystemClock& instance();
};

/// Time that moves only when something sleeps on it or calls advance().
/// Tests and the simulator run on it, so nothing sleeps for real.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::chrono::nanoseconds start = std::chrono::seconds(1000))
      : now_(start.count()) {}
  std::chrono::nanoseconds now() override { return std::chrono::nanoseconds(now_.load()); }
  /// Moves time on by d and counts the sleep.
  void sleepFor(std::chrono::nanoseconds d) override {
    ++sleeps_;
    advance(d);
  }
  /// Moves time on by d (negative durations are ignored: the clock is monotonic).
  void advance(std::chrono::nanoseconds d) {
    if (d.count() > 0) now_ += d.count();
  }
  /// Number of sleepFor calls so far.
  std::int64_t sleeps() const { return sleeps_.load(); }

 private:
  std::atomic<std::int64_t> now_;
  std::atomic<std::int64_t> sleeps_{0};
};

}  // namespace morvand
