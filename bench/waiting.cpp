// Waiting on the system clock: how far past the asked time it returns (median and 99th
// percentile), and how much processor time a second of waiting costs, with LowCPU on and off.
//   build/default/bench/bench_waiting [repetitions-of-0.01s] [repetitions-of-0.1s]

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "morvand/morvand.hpp"
#include "support/fixture.hpp"

namespace {

class IdleHost : public morvand::HostServices {
 public:
  int16_t messageBox(const std::string&, int16_t, const std::string&) override { return 1; }
  std::string inputBox(const std::string&, const std::string&, const std::string&) override {
    return {};
  }
  void yield() override {}
  void beep() override {}
};

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void measure(morvand::Morvand& m, double wait, int repetitions, bool lowCpu) {
  m.LowCPU = lowCpu;
  std::vector<double> overshoot;
  double waited = 0.0;
  const double cpu0 = cpuSeconds();
  for (int i = 0; i < repetitions; ++i) {
    const double t0 = m.myTimer();
    m.Waiting(wait);
    const double elapsed = m.myTimer() - t0;
    overshoot.push_back((elapsed - wait) * 1e3);
    waited += elapsed;
  }
  const double cpu = cpuSeconds() - cpu0;
  std::sort(overshoot.begin(), overshoot.end());
  const auto pick = [&](double q) {
    return overshoot[std::min(overshoot.size() - 1, static_cast<size_t>(q * overshoot.size()))];
  };
  std::printf("%-6.2f  %-6s  %5d  %12.3f  %12.3f  %18.3f\n", wait, lowCpu ? "on" : "off",
              repetitions, pick(0.5), pick(0.99), cpu / waited);
}

}  // namespace

int main(int argc, char** argv) {
  const int shortReps = argc > 1 ? std::atoi(argv[1]) : 200;
  const int longReps = argc > 2 ? std::atoi(argv[2]) : 30;
  morvand::test::SettingsDir dir;
  IdleHost host;
  morvand::Morvand m(host);
  std::printf("wait_s  LowCPU  reps   overshoot_ms  overshoot_ms  cpu_s_per_s_waiting\n");
  std::printf("                       median        p99\n");
  for (bool lowCpu : {true, false}) {
    measure(m, 0.01, shortReps, lowCpu);
    measure(m, 0.1, longReps, lowCpu);
  }
  return 0;
}
