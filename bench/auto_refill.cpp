// Wall time of a complete automatic refill on virtual time: start checks, 360 s pump-out,
// fill cycle, settling wait and the closing pump-and-premix opening, with a scripted chamber
// behind the gauge that follows the valves the controller writes.
//   build/<dir>/bench/bench_auto_refill [repetitions]
//
// Every yield moves virtual time on by 1 ms, so the refill polls the gauge about 400,000
// times; the figure is what one refill costs the host's thread on this machine.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "support/fixture.hpp"

namespace {

using morvand::Morvand;
using morvand::VirtualClock;
using WallClock = std::chrono::steady_clock;

/// Moves virtual time on by 1 ms per yield and drops the card's call record, which would
/// otherwise grow by every reading of a seven-minute procedure.
class BenchHost : public morvand::HostServices, public morvand::Events {
 public:
  BenchHost(VirtualClock& clock, morvand::test::ScriptedCard& card) : clock_(clock), card_(card) {}
  int16_t messageBox(const std::string&, int16_t, const std::string&) override { return 6; }
  std::string inputBox(const std::string&, const std::string&, const std::string&) override {
    return {};
  }
  void yield() override {
    clock_.advance(std::chrono::milliseconds(1));
    card_.clearCalls();
  }
  void beep() override {}
  void LaserMessenger(const std::string& text) override {
    std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
  }

 private:
  VirtualClock& clock_;
  morvand::test::ScriptedCard& card_;
};

/// A healthy chamber: 20 Torr/s down while pumping, 60 Torr/s up while filling.
struct Chamber {
  float torr = 2400.0f;
  double last = -1.0;
  long readings = 0;
  float at(double now, int16_t valves) {
    const auto dt = static_cast<float>(last < 0.0 ? 0.0 : now - last);
    last = now;
    ++readings;
    if (valves == 0x19) torr = std::max(5.0f, torr - 20.0f * dt);
    if (valves == 0x0A) torr = std::min(3500.0f, torr + 60.0f * dt);
    return torr;
  }
};

double seconds(WallClock::duration d) { return std::chrono::duration<double>(d).count(); }

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  morvand::test::SettingsDir dir;  // model 5 with F2: 2400-3000 Torr, 360 s pump-out
  VirtualClock clock;
  auto card = std::make_shared<morvand::test::ScriptedCard>();
  morvand::CardContext::current().reset();
  morvand::CardContext::current().setDriver(card);
  card->addDevice("PCI-1711");
  BenchHost host(clock, *card);
  Morvand m(host, &host, &clock);
  m.StandardCard();
  const int32_t scale = m.limits().PressScale;

  Chamber chamber;
  card->setAnalogSource(0, [&] {
    const float torr = chamber.at(m.myTimer(), card->portOut[1]);
    return static_cast<float>(torr / static_cast<double>(scale) + 0.1);
  });

  std::vector<double> wall;
  std::printf("%-4s %10s %10s %12s %10s\n", "run", "wall s", "cpu s", "virtual s", "readings");
  for (int i = 0; i < repetitions; ++i) {
    chamber = Chamber{};
    const double virt0 = m.myTimer();
    const double cpu0 = cpuSeconds();
    const auto start = WallClock::now();
    m.GasAutoRefill();
    const double w = seconds(WallClock::now() - start);
    wall.push_back(w);
    std::printf("%-4d %10.4f %10.4f %12.1f %10ld\n", i + 1, w, cpuSeconds() - cpu0,
                m.myTimer() - virt0, chamber.readings);
    if (m.Pressure <= 2400.0f || m.ValveState != 0) {
      std::fprintf(stderr, "refill did not complete (%g Torr, valves %d)\n", m.Pressure,
                   m.ValveState);
      return 1;
    }
  }
  std::sort(wall.begin(), wall.end());
  std::printf("median wall time of one automatic refill: %.4f s (min %.4f s)\n",
              wall[wall.size() / 2], wall.front());
  return 0;
}
