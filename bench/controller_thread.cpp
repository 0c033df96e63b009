// The controller thread on the simulated laser in real time: latency of a property read and of
// a short method call submitted from another thread (idle and during a run, p50 and p99), the
// time from LaserStop submitted to the enable line going off, how soon a waiting controller
// starts a submitted call, and the processor time of a waiting controller.
//   build/default/bench/bench_controller_thread [samples] [runs-to-stop]

#include "morvand/controller_thread.hpp"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;
using morvand::Morvand;

double micros(Steady::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void report(const char* what, std::vector<double> us) {
  std::sort(us.begin(), us.end());
  const auto at = [&](double q) { return us[static_cast<size_t>(q * (us.size() - 1))]; };
  std::printf("%-46s p50 %9.1f us   p99 %9.1f us   (n=%zu)\n", what, at(0.5), at(0.99), us.size());
}

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

/// The simulated card with the moment its enable line was last switched off.
struct TimedDriver final : morvand::CardDriver {
  std::shared_ptr<morvand::CardDriver> d;
  std::atomic<int64_t> enableOff{0};  // steady ns of the first switch-off since cleared
  explicit TimedDriver(std::shared_ptr<morvand::CardDriver> inner) : d(std::move(inner)) {}
  int32_t DioWritePortByte(int32_t h, const morvand::PortWriteRequest& r) override {
    const int32_t status = d->DioWritePortByte(h, r);
    if (r.port == 0 && (r.mask & 0x80) != 0 && (r.value & 0x80) == 0) {
      int64_t unset = 0;  // the first switch-off after the bench cleared it
      enableOff.compare_exchange_strong(unset, Steady::now().time_since_epoch().count());
    }
    return status;
  }
  // The rest passes through.
  int32_t DeviceGetList(morvand::DeviceListEntry* l, int16_t m, int16_t* n) override {
    return d->DeviceGetList(l, m, n);
  }
  int32_t DeviceGetNumOfList(int16_t* c) override { return d->DeviceGetNumOfList(c); }
  int32_t DeviceOpen(int32_t n, int32_t* h) override { return d->DeviceOpen(n, h); }
  int32_t DeviceClose(int32_t* h) override { return d->DeviceClose(h); }
  int32_t DeviceGetFeatures(int32_t h, morvand::DeviceFeatures* f) override {
    return d->DeviceGetFeatures(h, f);
  }
  int32_t AIGetConfig(int32_t h, morvand::AIConfigRecord* c) override {
    return d->AIGetConfig(h, c);
  }
  int32_t GetErrorMessage(int32_t s, char t[80]) override { return d->GetErrorMessage(s, t); }
  int32_t DioSetPortMode(int32_t h, const morvand::PortModeRequest& r) override {
    return d->DioSetPortMode(h, r);
  }
  int32_t DioReadPortByte(int32_t h, const morvand::PortReadRequest& r) override {
    return d->DioReadPortByte(h, r);
  }
  int32_t AIConfig(int32_t h, const morvand::AIConfigRequest& r) override {
    return d->AIConfig(h, r);
  }
  int32_t AIVoltageIn(int32_t h, const morvand::AIVoltageInRequest& r) override {
    return d->AIVoltageIn(h, r);
  }
  int32_t AOConfig(int32_t h, const morvand::AOConfigRequest& r) override {
    return d->AOConfig(h, r);
  }
  int32_t AOVoltageOut(int32_t h, const morvand::AOVoltageOutRequest& r) override {
    return d->AOVoltageOut(h, r);
  }
  int32_t CounterEventStart(int32_t h, const morvand::CounterEventStartRequest& r) override {
    return d->CounterEventStart(h, r);
  }
  int32_t CounterEventRead(int32_t h, const morvand::CounterEventReadRequest& r) override {
    return d->CounterEventRead(h, r);
  }
  int32_t CounterReset(int32_t h, int16_t c) override { return d->CounterReset(h, c); }
  int32_t CounterPulseStart(int32_t h, const morvand::CounterPulseStartRequest& r) override {
    return d->CounterPulseStart(h, r);
  }
  int32_t CounterFreqStart(int32_t h, const morvand::CounterFreqStartRequest& r) override {
    return d->CounterFreqStart(h, r);
  }
};

TimedDriver* timed = nullptr;

struct TimedBackend final : morvand::Backend {
  std::unique_ptr<morvand::Backend> sim;
  std::shared_ptr<TimedDriver> driver_;
  explicit TimedBackend(std::unique_ptr<morvand::Backend> b)
      : sim(std::move(b)), driver_(std::make_shared<TimedDriver>(sim->driver())) {
    timed = driver_.get();
  }
  std::shared_ptr<morvand::CardDriver> driver() override { return driver_; }
  morvand::Clock& clock() override { return sim->clock(); }
  void step() override { sim->step(); }
  bool simulated() const override { return true; }
  void installLaser(int16_t model, int16_t gas) override { sim->installLaser(model, gas); }
};

struct Watch : morvand::Events {
  std::atomic<int> passes{0};
  void Warmingup(float, bool& Cancel) override { Cancel = true; }
  void LaserRunning(int32_t, float) override { ++passes; }
};

template <class F>
std::vector<double> latencies(morvand::ControllerThread& ct, int samples, F fn) {
  std::vector<double> us;
  for (int i = 0; i < samples; ++i) {
    const auto t0 = Steady::now();
    ct.call(fn);
    us.push_back(micros(Steady::now() - t0));
  }
  return us;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int samples = argc > 1 ? std::atoi(argv[1]) : 2000;
  // Each stop ends with the run's 3.1 s stop sequence in real time.
  const int stopRuns = argc > 2 ? std::atoi(argv[2]) : 15;
  const auto dir = std::filesystem::temp_directory_path() / "morvand-bench-thread";
  morvand::writeSettingsFiles(dir.string(), "LM-10", "KrF");
  morvand::registerBackend(
      {"timed:",
       [](const std::string& rest,
          const morvand::BackendOptions& o) -> std::unique_ptr<morvand::Backend> {
         return std::make_unique<TimedBackend>(morvand::openBackend("sim:" + rest, o));
       },
       "the simulated laser with a timed enable line"});
  morvand::ControllerOptions options;
  options.card = "timed:1711";
  options.directory = dir.string();
  options.backend.speed = 1.0;  // real time
  morvand::ControllerThread ct(options);
  auto watch = std::make_shared<Watch>();
  ct.subscribe(watch);
  ct.call([](Morvand& m) {
    m.StandardCard();
    m.MorvandStatus(false);
    m.RepRate = 100;
    m.MaxNum = 50000000;
  });

  const auto read = [](Morvand& m) { return m.RepRate; };
  const auto shortCall = [](Morvand& m) { return m.myTimer(); };
  report("idle: property read (RepRate)", latencies(ct, samples, read));
  report("idle: short method (myTimer)", latencies(ct, samples, shortCall));

  auto run = ct.submit([](Morvand& m) { m.LaserRun(0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  report("running: property read (RepRate)", latencies(ct, samples / 4, read));
  report("running: short method (myTimer)", latencies(ct, samples / 4, shortCall));
  ct.call([](Morvand& m) { m.LaserStop(); });
  run.get();

  // LaserStop from another thread to the enable line off, each on a fresh run.
  std::vector<double> stops;
  for (int i = 0; i < stopRuns; ++i) {
    watch->passes = 0;
    auto r = ct.submit([](Morvand& m) { m.LaserRun(0); });
    while (watch->passes < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds((i * 7) % 50));  // anywhere in a pass
    timed->enableOff = 0;
    const auto t0 = Steady::now();
    ct.submit([](Morvand& m) { m.LaserStop(); });
    r.get();
    stops.push_back(micros(Steady::duration(timed->enableOff.load()) - t0.time_since_epoch()));
  }
  report("LaserStop submitted -> enable line off", stops);

  // A waiting controller: how soon a submitted call starts, and the processor time it costs.
  std::promise<void> inWait;
  auto wait = ct.submit([&](Morvand& m) {
    inWait.set_value();
    m.Waiting(12.0);
  });
  inWait.get_future().wait();
  std::vector<double> wake;
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto t0 = Steady::now();
    auto started = ct.submit([](Morvand&) { return Steady::now(); });
    wake.push_back(micros(started.get() - t0));
  }
  report("waiting: submitted call starts after", wake);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const double cpu0 = cpuSeconds();
  const auto w0 = Steady::now();
  wait.get();
  const double wall = std::chrono::duration<double>(Steady::now() - w0).count();
  std::printf("waiting: processor time %.3f %% of a core over %.1f s of Waiting\n",
              100.0 * (cpuSeconds() - cpu0) / wall, wall);
  return 0;
}
