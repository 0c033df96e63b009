// The one time base and the one wait. Every time reading and every pause of the controller
// goes through here and through the controller's Clock.

#include <chrono>
#include <utility>

#include "controller/state.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

double Morvand::myTimer() {
  // Seconds of a monotonic clock in double precision: sub-millisecond resolution at any
  // uptime, no wrap-around.
  return std::chrono::duration<double>(state_->clock_->now()).count();
}

void Morvand::State::yieldToHost() {
  // What the host calls during a yield is not a step of the switch-off sequence that
  // waits: its commands fail on the first status, as everywhere else.
  struct Suspend {
    int& depth;
    int saved;
    ~Suspend() { depth = saved; }
  } suspend{card_.switchOffDepth, std::exchange(card_.switchOffDepth, 0)};
  host_.yield();
}

void Morvand::Waiting(double WaitTime) {
  const double end = myTimer() + WaitTime;
  // The same end on the clock's own scale, for a host that can sleep until it.
  const auto deadline = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(end < 0.0 ? 0.0 : end));
  while (myTimer() < end) {
    state_->yieldToHost();
    if (state_->host_.waitUntil(deadline)) continue;
    if (LowCPU) state_->clock_->sleepFor(std::chrono::milliseconds(1));
  }
}

void Morvand::Delay(double delaytime) { Waiting(delaytime); }

}  // namespace morvand
