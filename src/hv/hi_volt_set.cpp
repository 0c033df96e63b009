// The charging-voltage window of the selected model and gas, and the starting set-point.

#include "morvand/models.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

void Morvand::HiVoltSet() {
  const int16_t code = LaserTypeFlag;
  if (code == 9 || code == 19) HiVoltMax = 16.5f;

  if (GasFlag == kGasF2) {
    HiVoltMax = 16.5f;
    HiVoltMin = 12.5f;
  } else if (GasFlag == kGasXeCl) {
    HiVoltMax = code == 15 ? 14.0f : 15.0f;
    HiVoltMin = code == 15 ? 8.0f : 9.0f;
  }

  // Models whose window depends on the rate (Hz) or on their own supply.
  if (code == 27 && GasFlag == kGasArF) {
    if (RepRate >= 21) {
      HiVoltMax = 16.0f;
    } else {
      HiVoltMax = 16.5f;
      HiVoltMin = 10.0f;
    }
  } else if (code == 28 && GasFlag == kGasXeCl) {
    if (RepRate <= 101) {
      HiVoltMax = 15.0f;
    } else {
      HiVoltMax = 14.0f;
      HiVoltMin = 10.0f;
    }
  } else if (code == 31) {
    HiVoltMax = 15.0f;
    HiVoltMin = GasFlag == kGasF2 ? 12.0f : 10.0f;
  } else if (code == 33) {
    HiVoltMax = 15.0f;
    HiVoltMin = 11.0f;
  } else if (code == 32) {
    HiVoltMax = 12.0f;
    HiVoltMin = 8.0f;
  }

  // The run starts at 12 kV unless the window's floor is higher.
  VoltSet = HiVoltMin > 12.0f ? HiVoltMin : 12.0f;
}

}  // namespace morvand
