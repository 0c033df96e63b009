#pragma once
// Shared ground of the simulator benchmarks: a temporary settings directory, a controller on
// a simulated installation, and a summary of repeated wall-time measurements.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "morvand/backends.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "morvand/sim/backend.hpp"

namespace simbench {

/// Makes a fresh directory with the four settings files the current one for its lifetime.
class TempSettings {
 public:
  TempSettings(int16_t model, int16_t gas) : previous_(std::filesystem::current_path()) {
    dir_ = std::filesystem::temp_directory_path() /
           ("morvand-bench-" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    std::ofstream("Paramdata") << "25,0,0,0\r\n";
    std::ofstream("Typedata") << model << "," << gas << "\r\n";
    std::ofstream("Counter") << "0,0\r\n";
    std::ofstream("Industrial") << "0\r\n";
  }
  ~TempSettings() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(dir_, ec);
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
};

/// A controller with its card opened on a simulated installation.
struct Installation {
  Installation(const std::string& uri, int16_t model, int16_t gas, uint64_t seed)
      : settings(model, gas),
        backend(morvand::openBackend(uri, morvand::BackendOptions{0.0, seed})),
        sim(&dynamic_cast<morvand::sim::SimBackend&>(*backend).simulation()) {
    sim->plant->setLaser(model, gas);
    morvand::CardContext::current().reset();
    morvand::CardContext::current().setDriver(sim->card);
    m = std::make_unique<morvand::Morvand>(sim->host, &sim->host, &sim->clock);
    m->StandardCard();
  }
  ~Installation() {
    m.reset();
    morvand::CardContext::current().reset();
  }
  double virtualSeconds() { return std::chrono::duration<double>(sim->clock.now()).count(); }
  uint64_t driverCalls() const {
    uint64_t n = 0;
    for (size_t i = 0; i < morvand::kDriverOpCount; ++i) {
      n += sim->card->calls(static_cast<morvand::DriverOp>(i));
    }
    return n;
  }

  TempSettings settings;
  std::unique_ptr<morvand::Backend> backend;
  morvand::sim::Simulation* sim;
  std::unique_ptr<morvand::Morvand> m;
};

/// Processor time of the calling thread, ms (unaffected by other processes on the machine).
inline double threadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

/// Prints min / median / max of the wall and processor times (ms) and returns the median
/// wall time.
inline double summarize(const char* what, std::vector<double> ms, std::vector<double> cpu) {
  std::sort(ms.begin(), ms.end());
  std::sort(cpu.begin(), cpu.end());
  std::printf(
      "%s over %zu runs: wall min %.1f / median %.1f / max %.1f ms; "
      "processor min %.1f / median %.1f / max %.1f ms\n",
      what, ms.size(), ms.front(), ms[ms.size() / 2], ms.back(), cpu.front(), cpu[cpu.size() / 2],
      cpu.back());
  return ms[ms.size() / 2];
}

}  // namespace simbench
