// The run loop on virtual time with the scripted card: the loop's own cost per pass (its
// card operations, events and bookkeeping, without the 10 ms wait), and the wall time of a
// whole 10,000-pass run (start checks, 7 s start wait, passes, stop sequence).
//   build/<dir>/bench/bench_run_loop [passes] [repetitions]
//
// The per-pass cost (processor time) is the difference of a long and a short run divided by the
// difference of their passes, so the start and stop sequences drop out; the cost of the pass's
// Waiting(0.01) on the same clock and host is measured alone and subtracted.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "support/fixture.hpp"
#include "support/laser_readings.hpp"

namespace {

using morvand::Morvand;
using morvand::VirtualClock;
using WallClock = std::chrono::steady_clock;

/// A host that lets every yield move virtual time on by 1 ms and stops the run after a
/// number of firing passes.
class BenchHost : public morvand::HostServices, public morvand::Events {
 public:
  explicit BenchHost(VirtualClock& clock) : clock_(clock) {}
  Morvand* controller = nullptr;
  int32_t stopAfter = 0;
  int32_t passes = 0;

  int16_t messageBox(const std::string&, int16_t, const std::string&) override { return 1; }
  std::string inputBox(const std::string&, const std::string&, const std::string&) override {
    return {};
  }
  void yield() override { clock_.advance(std::chrono::milliseconds(1)); }
  void beep() override {}
  void LaserRunning(int32_t, float) override {
    if (++passes >= stopAfter && controller != nullptr) controller->LaserStop();
  }

 private:
  VirtualClock& clock_;
};

double seconds(WallClock::duration d) { return std::chrono::duration<double>(d).count(); }

/// Processor time of this (single-threaded) process, s: less disturbed than wall time by
/// other work on the machine.
double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Run {
  double wall;   ///< s
  double cpu;    ///< s of processor time
  double virt;   ///< s of virtual time
  size_t calls;  ///< driver calls
};

/// One run of the given number of firing passes.
Run timeRun(Morvand& m, BenchHost& host, morvand::test::ScriptedCard& card, int32_t passes) {
  card.clearCalls();
  host.passes = 0;
  host.stopAfter = passes;
  const double virt0 = m.myTimer();
  const double cpu0 = cpuSeconds();
  const auto start = WallClock::now();
  m.LaserRun(0);
  const Run run{seconds(WallClock::now() - start), cpuSeconds() - cpu0, m.myTimer() - virt0,
                card.calls().size()};
  if (host.passes != passes) std::fprintf(stderr, "run made %d passes\n", host.passes);
  return run;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t longRun = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
  const int32_t shortRun = longRun / 10;

  morvand::test::SettingsDir dir;
  VirtualClock clock;
  BenchHost host(clock);
  auto card = std::make_shared<morvand::test::ScriptedCard>();
  morvand::CardContext::current().reset();
  morvand::CardContext::current().setDriver(card);
  card->addDevice("PCI-1711");
  morvand::test::healthyLaser(*card);

  Morvand m(host, &host, &clock);
  host.controller = &m;
  m.StandardCard();
  m.MaxNum = 50000000;

  std::vector<double> longRuns, longCpu, shortCpu, waits;
  Run sample{};
  for (int r = 0; r < repetitions; ++r) {
    sample = timeRun(m, host, *card, longRun);
    longRuns.push_back(sample.wall);
    longCpu.push_back(sample.cpu);
    shortCpu.push_back(timeRun(m, host, *card, shortRun).cpu);
    const double cpu0 = cpuSeconds();
    for (int32_t i = 0; i < longRun; ++i) m.Waiting(0.01);
    waits.push_back((cpuSeconds() - cpu0) / longRun);
  }
  const double perPassWithWait =
      (median(longCpu) - median(shortCpu)) / static_cast<double>(longRun - shortRun);
  const double waitCost = median(waits);

  std::printf("passes per run                      %d (and %d for the difference)\n", longRun,
              shortRun);
  std::printf("wall time of a %d-pass run, ms     %.1f (median of %d)\n", longRun,
              median(longRuns) * 1e3, repetitions);
  std::printf("virtual time of that run, s         %.1f\n", sample.virt);
  std::printf("driver calls per pass               %.1f\n",
              static_cast<double>(sample.calls) / longRun);
  std::printf("cpu per pass with its wait, us      %.2f\n", perPassWithWait * 1e6);
  std::printf("cpu of the Waiting(0.01), us        %.2f\n", waitCost * 1e6);
  std::printf("loop's own cpu per pass, us         %.2f\n", (perPassWithWait - waitCost) * 1e6);
  m.setEvents(nullptr);
  return 0;
}
