// Wall time of a complete automatic refill of LM-10 on KrF on the simulated laser (about
// seven minutes of laser time: 360 s pump-out, the fill cycles, the filter step).
//   build/<dir>/bench/bench_sim_refill [sim:1711|sim:1712|sim:1710] [repetitions]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim_common.hpp"

int main(int argc, char** argv) {
  const std::string uri = argc > 1 ? argv[1] : "sim:1711";
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 10;
  std::vector<double> wall, cpu;
  for (int i = 0; i < repetitions; ++i) {
    simbench::Installation inst(uri, 5, 3, 1000 + static_cast<uint64_t>(i));
    const double v0 = inst.virtualSeconds();
    const uint64_t calls0 = inst.driverCalls();
    const double c0 = simbench::threadCpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    inst.m->GasAutoRefill();
    const auto t1 = std::chrono::steady_clock::now();
    cpu.push_back(simbench::threadCpuMs() - c0);
    wall.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    if (i == 0) {
      std::printf(
          "%s: one refill = %.1f s of laser time, %llu driver calls, %lld yields, "
          "final pressure %.0f Torr\n",
          uri.c_str(), inst.virtualSeconds() - v0,
          static_cast<unsigned long long>(inst.driverCalls() - calls0),
          static_cast<long long>(inst.sim->host.yields), inst.sim->plant->pressure());
    }
  }
  return simbench::summarize("automatic refill", wall, cpu) < 100.0 ? 0 : 1;
}
