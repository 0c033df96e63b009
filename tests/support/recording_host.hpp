#pragma once
// The tests' host: the simulator's scripted host with the tests' defaults (every box
// answered OK, 1 ms of virtual time per yield).

#include <chrono>

#include "morvand/clock.hpp"
#include "morvand/sim/sim_host.hpp"

namespace morvand::test {

using Box = sim::RecordedBox;
using Prompt = sim::RecordedPrompt;

class RecordingHost : public sim::SimHost {
 public:
  explicit RecordingHost(VirtualClock* clock = nullptr)
      : SimHost(clock, std::chrono::milliseconds(1)) {
    defaultAnswer = kAnswerOk;
  }
};

}  // namespace morvand::test
