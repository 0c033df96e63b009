// Construction and destruction sequences.

#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

Morvand::Morvand(HostServices& host, Events* events, Clock* clock)
    : host_(host), events_(events), clock_(clock != nullptr ? clock : &SystemClock::instance()) {
  loadSettings();
  PopupMessage = false;
  CountPeriod = 1.0;
  LowCPU = true;
  EH_sys = true;
  LaserData();
  HiVoltSet();
  SetFillPress();
  mode = 0;
}

Morvand::~Morvand() {
  // Nothing may escape a destructor; whatever fails is reported by the operation itself.
  try {
    flag2 = 1;
    if (PCIcard != 0) {
      CardContext& card = CardContext::current();
      // A failing counter reset is reported, and the shutdown goes on: skipping it would
      // leave the fan, the generator and the card as they are and lose the session's counts.
      driverOk(card.driver().CounterReset(card.DeviceHandle, 0));
      Waiting(0.1);
      Fan(true);
      Halt();
      driverOk(card.driver().DeviceClose(&card.DeviceHandle));
    }
  } catch (...) {
  }
  try {
    storeSettings();
  } catch (...) {
  }
}

Limits Morvand::limits() const {
  return Limits{model_.RepRateMax,       model_.RepRateMedium,   model_.RepRateSlow,
                card_.RepRateMin,        model_.TempMax,         model_.EnergyScale,
                model_.ThyWarmTime,      model_.PressScale,      model_.PressMax,
                fill_.FillPressLow,      fill_.FillPressHigh,    fill_.PumpoutTime,
                fill_.PartialPumpoutTime, card_.ExtTrigCounter,  fill_.HighRepFill};
}

}  // namespace morvand
