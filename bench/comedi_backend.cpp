// The comedi back end's own cost per operation: each driver operation through the back end
// over the stand-in comedilib, next to the same comedilib calls made directly on the
// stand-in. The difference is what the back end adds; on a real card the ioctl behind each
// comedilib call comes on top of both.
//   build/default/bench/bench_comedi_backend

#include <benchmark/benchmark.h>
#include <comedilib.h>

#include <memory>

#include "morvand/comedi/comedi_card.hpp"
#include "morvand/sim/simulation.hpp"
#include "standin.hpp"

namespace {

struct Rig {
  Rig() {
    morvand::comedi_standin::install("/dev/comedi0", "pci1711", sim->plant, sim->clock);
    card = std::make_unique<morvand::comedi::ComediCard>(
        morvand::comedi::findDevices("/dev/comedi0"), sim->clock);
    card->DeviceOpen(0, &handle);
    dev = comedi_open("/dev/comedi0");
    comedi_set_global_oor_behavior(COMEDI_OOR_NUMBER);
  }
  ~Rig() {
    comedi_close(dev);
    card.reset();
    morvand::comedi_standin::uninstallAll();
  }
  std::unique_ptr<morvand::sim::Simulation> sim = morvand::sim::makeSimulation("sim:1711", 1);
  std::unique_ptr<morvand::comedi::ComediCard> card;
  int32_t handle = 0;
  comedi_t* dev = nullptr;
};

void BM_BackEnd_DioWritePortByte(benchmark::State& state) {
  Rig r;
  int16_t v = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(r.card->DioWritePortByte(r.handle, {1, 0x0F, v}));
    v = static_cast<int16_t>(v ^ 0x05);
  }
}
void BM_Direct_DioBitfieldWrite(benchmark::State& state) {
  Rig r;
  unsigned v = 0;
  for (auto _ : state) {
    unsigned bits = v;
    benchmark::DoNotOptimize(comedi_dio_bitfield2(r.dev, 3, 0x0F, &bits, 8));
    v ^= 0x05;
  }
}

void BM_BackEnd_DioReadPortByte(benchmark::State& state) {
  Rig r;
  int16_t byte = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(r.card->DioReadPortByte(r.handle, {0, &byte}));
    benchmark::DoNotOptimize(byte);
  }
}
void BM_Direct_DioBitfieldRead(benchmark::State& state) {
  Rig r;
  for (auto _ : state) {
    unsigned bits = 0;
    benchmark::DoNotOptimize(comedi_dio_bitfield2(r.dev, 2, 0, &bits, 0));
    benchmark::DoNotOptimize(bits);
  }
}

void BM_BackEnd_AIVoltageIn(benchmark::State& state) {
  Rig r;
  float v = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(r.card->AIVoltageIn(r.handle, {0, 0, 0, &v}));
    benchmark::DoNotOptimize(v);
  }
}
// While counter 0 counts, each reading also reads the counter twice and restores its clock.
void BM_BackEnd_AIVoltageInWhileCounting(benchmark::State& state) {
  Rig r;
  r.card->CounterEventStart(r.handle, {0, 0});
  float v = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(r.card->AIVoltageIn(r.handle, {0, 0, 0, &v}));
    benchmark::DoNotOptimize(v);
  }
}
void BM_Direct_DataReadToPhys(benchmark::State& state) {
  Rig r;
  for (auto _ : state) {
    lsampl_t raw = 0;
    benchmark::DoNotOptimize(comedi_data_read(r.dev, 0, 0, 0, AREF_GROUND, &raw));
    benchmark::DoNotOptimize(
        comedi_to_phys(raw, comedi_get_range(r.dev, 0, 0, 0), comedi_get_maxdata(r.dev, 0, 0)));
  }
}

void BM_BackEnd_AOVoltageOut(benchmark::State& state) {
  Rig r;
  float v = 1.0f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(r.card->AOVoltageOut(r.handle, {1, v}));
    v = v == 1.0f ? 2.0f : 1.0f;
  }
}
void BM_Direct_FromPhysDataWrite(benchmark::State& state) {
  Rig r;
  double v = 1.0;
  for (auto _ : state) {
    comedi_range* rg = comedi_get_range(r.dev, 1, 1, 0);
    const lsampl_t raw = comedi_from_phys(v, rg, comedi_get_maxdata(r.dev, 1, 1));
    benchmark::DoNotOptimize(comedi_data_write(r.dev, 1, 1, 0, AREF_GROUND, raw));
    v = v == 1.0 ? 2.0 : 1.0;
  }
}

void BM_BackEnd_CounterEventRead(benchmark::State& state) {
  Rig r;
  r.card->CounterEventStart(r.handle, {0, 0});
  int16_t overflow = 0;
  uint32_t count = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(r.card->CounterEventRead(r.handle, {0, &overflow, &count}));
    benchmark::DoNotOptimize(count);
  }
}
void BM_Direct_CounterReadAndStatus(benchmark::State& state) {
  Rig r;
  comedi_set_clock_source(r.dev, 4, 0, 1, 0);
  comedi_set_counter_mode(r.dev, 4, 0, I8254_MODE0);
  comedi_data_write(r.dev, 4, 0, 0, 0, 0);
  for (auto _ : state) {
    lsampl_t raw = 0;
    benchmark::DoNotOptimize(comedi_data_read(r.dev, 4, 0, 0, 0, &raw));
    lsampl_t data[2] = {INSN_CONFIG_8254_READ_STATUS, 0};
    comedi_insn insn{};
    insn.insn = INSN_CONFIG;
    insn.n = 2;
    insn.data = data;
    insn.subdev = 4;
    benchmark::DoNotOptimize(comedi_do_insn(r.dev, &insn));
  }
}

void BM_BackEnd_CounterPulseStart(benchmark::State& state) {
  Rig r;
  float period = 0.01f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(r.card->CounterPulseStart(r.handle, {0, period, 0.0f, 0}));
    period = period == 0.01f ? 0.02f : 0.01f;
  }
}
void BM_Direct_ClockModeCount(benchmark::State& state) {
  Rig r;
  lsampl_t n = 10000;
  for (auto _ : state) {
    unsigned source = 0, ns = 0;
    comedi_set_clock_source(r.dev, 4, 0, 0, 0);
    comedi_get_clock_source(r.dev, 4, 0, &source, &ns);
    comedi_set_counter_mode(r.dev, 4, 0, I8254_MODE3);
    benchmark::DoNotOptimize(comedi_data_write(r.dev, 4, 0, 0, 0, n));
    n = n == 10000 ? 20000 : 10000;
  }
}

void BM_BackEnd_GetErrorMessage(benchmark::State& state) {
  Rig r;
  char text[80];
  for (auto _ : state) {
    benchmark::DoNotOptimize(r.card->GetErrorMessage(EBUSY, text));
  }
}

}  // namespace

BENCHMARK(BM_BackEnd_DioWritePortByte);
BENCHMARK(BM_Direct_DioBitfieldWrite);
BENCHMARK(BM_BackEnd_DioReadPortByte);
BENCHMARK(BM_Direct_DioBitfieldRead);
BENCHMARK(BM_BackEnd_AIVoltageIn);
BENCHMARK(BM_BackEnd_AIVoltageInWhileCounting);
BENCHMARK(BM_Direct_DataReadToPhys);
BENCHMARK(BM_BackEnd_AOVoltageOut);
BENCHMARK(BM_Direct_FromPhysDataWrite);
BENCHMARK(BM_BackEnd_CounterEventRead);
BENCHMARK(BM_Direct_CounterReadAndStatus);
BENCHMARK(BM_BackEnd_CounterPulseStart);
BENCHMARK(BM_Direct_ClockModeCount);
BENCHMARK(BM_BackEnd_GetErrorMessage);
BENCHMARK_MAIN();
