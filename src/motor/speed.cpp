// Motor speed from the tachometer: edge timing on digital input bit 4 (PCI-1710/1711) or
// the count of counter 1 (PCI-1712).

#include <cmath>

#include "card/card_model.hpp"
#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {
constexpr int16_t kTachoBit = wiring::kTachoInputBit;     // digital input bit 4
constexpr int16_t kTachoCounter = wiring::kTachoCounter;  // PCI-1712
constexpr double kWindow = 0.5;               // s: slower than one period per window reads as 0
constexpr int32_t kCounterRestart = 1000000;  // counts before counter 1 is restarted
}  // namespace

double Morvand::MotorRpmMes() {
  const card::Tachometer tachometer = card::cardModel(PCIcard).tachometer;
  if (tachometer == card::Tachometer::InputEdges) {
    const double t0 = myTimer();
    MotorRPM = 0.0;
    MotorCount = 0;
    MotorState = 0;
    TimeRPS0 = t0 + kWindow;
    MotorCT = util::checkedInt32(static_cast<int64_t>(MotorCT) + 1);
    // The first sample is never an edge: MotorState starts at 0, and only a low sample (-1)
    // arms the rising-edge test.
    while (MotorCN >= MotorCount) {
      TimeRPS = myTimer();
      status();
      if ((state & kTachoBit) != 0) {
        if (MotorState == -1) {
          if (MotorCount == 0) {
            TimeRPS1 = TimeRPS;
          } else if (MotorCount == MotorCN) {
            // MotorCN periods complete.
            if (!(TimeRPS > TimeRPS1)) break;
            MotorRPM = std::round(60.0 / (TimeRPS - TimeRPS1));
            state_->events().MotorRpmRead(MotorRPM, VoltMotorOld, MotorVMes());
            break;
          }
          MotorCount = util::checkedInt32(static_cast<int64_t>(MotorCount) + 1);
        }
        MotorState = 1;
      } else {
        MotorState = -1;
      }
      if (TimeRPS > TimeRPS0) {
        MotorRPM = 0.0;
        state_->events().MotorRpmRead(0.0, VoltMotorOld, MotorVMes());
        break;
      }
      state_->yieldToHost();
    }
    return MotorRPM;
  }
  if (tachometer == card::Tachometer::Counter) {
    if (!state_->counters_.CountActive[kTachoCounter]) {
      // The first call only starts counting; the next one measures over the interval.
      TimeRPS0 = myTimer();
      CounterStart(kTachoCounter);
      MotorCT = 0;
      return 0.0;
    }
    TimeRPS = myTimer();
    // Two calls within one clock reading give no interval to measure over: the last speed
    // stands.
    if (TimeRPS == TimeRPS0) return MotorRPM;
    CounterRead(kTachoCounter);
    MotorCount = state_->counters_.CountNow[kTachoCounter];
    const int32_t counts = util::checkedInt32(static_cast<int64_t>(MotorCount) - MotorCT);
    MotorRPM =
        util::divide(util::checkedInt32(static_cast<int64_t>(counts) * 60), TimeRPS - TimeRPS0);
    state_->events().MotorRpmRead(MotorRPM, VoltMotorOld, MotorVMes());
    if (MotorCount <= kCounterRestart) {
      TimeRPS0 = TimeRPS;
      MotorCT = MotorCount;
    } else {
      TimeRPS0 = myTimer();
      CounterStart(kTachoCounter);
      MotorCT = 0;
    }
    return MotorRPM;
  }
  return -1.0;
}

}  // namespace morvand
