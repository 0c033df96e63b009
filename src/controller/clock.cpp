#include "morvand/clock.hpp"

#include <thread>

namespace morvand {

std::chrono::nanoseconds SystemClock::now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::sleepFor(std::chrono::nanoseconds d) { std::this_thread::sleep_for(d); }

SystemClock& SystemClock::instance() {
  static SystemClock clock;
  return clock;
}

}  // namespace morvand
