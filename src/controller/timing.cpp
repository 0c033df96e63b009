// The one time base and the one wait. Every time reading and every pause of the controller
// goes through here and through the controller's Clock.

#include <chrono>

#include "controller/state.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

double Morvand::myTimer() {
  // Seconds of a monotonic clock in double precision: sub-millisecond resolution at any
  // uptime, no wrap-around.
  return std::chrono::duration<double>(state_->clock_->now()).count();
}

void Morvand::yieldToHost() { state_->host_.yield(); }

void Morvand::Waiting(double WaitTime) {
  const double end = myTimer() + WaitTime;
  while (myTimer() < end) {
    yieldToHost();
    if (LowCPU) state_->clock_->sleepFor(std::chrono::milliseconds(1));
  }
}

void Morvand::Delay(double delaytime) { Waiting(delaytime); }

}  // namespace morvand
