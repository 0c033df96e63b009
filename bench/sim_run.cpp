// Wall time of a 60-second constant-energy run at 100 Hz (6000 pulses) of LM-10 on KrF on
// the simulated laser, from the start checks to the end of the stop sequence.
//   build/<dir>/bench/bench_sim_run [sim:1711|sim:1712|sim:1710] [repetitions]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim_common.hpp"

int main(int argc, char** argv) {
  const std::string uri = argc > 1 ? argv[1] : "sim:1712";
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 10;
  std::vector<double> wall, cpu;
  for (int i = 0; i < repetitions; ++i) {
    simbench::Installation inst(uri, 5, 3, 2000 + static_cast<uint64_t>(i));
    inst.m->mode = 1;
    inst.m->RepRate = 100;
    inst.m->MaxNum = 6000;
    const double v0 = inst.virtualSeconds();
    const uint64_t calls0 = inst.driverCalls();
    const double c0 = simbench::threadCpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    inst.m->LaserRun(0);
    const auto t1 = std::chrono::steady_clock::now();
    cpu.push_back(simbench::threadCpuMs() - c0);
    wall.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    if (i == 0) {
      std::printf(
          "%s: one run = %d pulses, %.1f s of laser time, %llu driver calls, "
          "energy %.2f for a set-point of %.2f\n",
          uri.c_str(), inst.m->PulseNum, inst.virtualSeconds() - v0,
          static_cast<unsigned long long>(inst.driverCalls() - calls0), inst.m->Energy,
          inst.m->SetEnergy);
    }
  }
  return simbench::summarize("60 s run at 100 Hz", wall, cpu) < 100.0 ? 0 : 1;
}
