#include "morvand/sim/paced_clock.hpp"

#include <thread>

namespace morvand::sim {

PacedClock::PacedClock(double factor, std::chrono::nanoseconds start)
    : factor_(factor < 0.0 ? 0.0 : factor), base_(start), wallBase_(Wall::now()) {}

std::chrono::nanoseconds PacedClock::now() {
  if (factor_ == 0.0) return base_ + virtual_;
  const std::chrono::duration<double, std::nano> wall = Wall::now() - wallBase_;
  return base_ + virtual_ + std::chrono::nanoseconds(static_cast<int64_t>(wall.count() * factor_));
}

void PacedClock::sleepFor(std::chrono::nanoseconds d) {
  if (d.count() <= 0) return;
  if (factor_ == 0.0) {
    virtual_ += d;
    return;
  }
  std::this_thread::sleep_for(
      std::chrono::duration<double, std::nano>(static_cast<double>(d.count()) / factor_));
}

void PacedClock::setFactor(double factor) {
  const std::chrono::nanoseconds t = now();
  factor_ = factor < 0.0 ? 0.0 : factor;
  base_ = t;
  virtual_ = std::chrono::nanoseconds(0);
  wallBase_ = Wall::now();
}

}  // namespace morvand::sim
