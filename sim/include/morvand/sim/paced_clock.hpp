#pragma once
/// A clock for running the simulated laser live: its time follows the wall clock, sped up
/// by a factor, or runs as fast as possible (time then moves only when something waits).

#include <chrono>
#include <cstdint>

#include "morvand/clock.hpp"

namespace morvand::sim {

class PacedClock final : public Clock {
 public:
  /// factor: simulated seconds per wall second (1 = real time); 0 = as fast as possible.
  /// start: the time now() reads at construction.
  explicit PacedClock(double factor = 1.0,
                      std::chrono::nanoseconds start = std::chrono::seconds(1000));

  std::chrono::nanoseconds now() override;
  /// Paced: sleeps until the simulated time has moved on by d. Fast: moves time on by d.
  void sleepFor(std::chrono::nanoseconds d) override;
  /// Changes the factor from now on without a jump in time.
  void setFactor(double factor);
  double factor() const { return factor_; }

 private:
  using Wall = std::chrono::steady_clock;
  double factor_;
  std::chrono::nanoseconds base_;  // simulated time at wallBase_
  Wall::time_point wallBase_;
  std::chrono::nanoseconds virtual_{0};  // offset added by waits in fast mode
};

}  // namespace morvand::sim
