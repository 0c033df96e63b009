// Construction and destruction sequences.

#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

Morvand::Morvand(HostServices& host, Events* events, Clock* clock,
                 const std::string& settingsDirectory)
    : host_(host), events_(events), clock_(clock != nullptr ? clock : &SystemClock::instance()) {
  settings_.directory = settingsDirectory;
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
  // Nothing may escape a destructor. Each step is guarded on its own, so that an error
  // thrown by one step does not skip the steps after it.
  const auto step = [](auto&& action) {
    try {
      action();
    } catch (...) {
    }
  };
  flag2 = 1;  // a run loop that is still active leaves at its next check
  if (PCIcard != 0) {
    CardContext& card = CardContext::current();
    // The shutdown is a switch-off sequence: its commands get their second try.
    detail::SwitchOffScope switchingOff(card_.switchOffDepth);
    // A failing reset of the generator counter is reported, and the shutdown goes on:
    // skipping the rest would leave the fan, the generator and the card as they are and
    // lose the session's counts and selection.
    step([&] { commandOk([&] { return card.driver().CounterReset(card.DeviceHandle, 0); }); });
    step([&] { Waiting(0.1); });
    step([&] { Fan(true); });
    step([&] { Halt(); });
    step([&] {
      card.deviceOpen = false;
      driverOk(card.driver().DeviceClose(&card.DeviceHandle));
    });
  }
  step([&] { storeSettings(); });
}

Limits Morvand::limits() const {
  return Limits{model_.RepRateMax,        model_.RepRateMedium, model_.RepRateSlow,
                card_.RepRateMin,         model_.TempMax,       model_.EnergyScale,
                model_.ThyWarmTime,       model_.PressScale,    model_.PressMax,
                fill_.FillPressLow,       fill_.FillPressHigh,  fill_.PumpoutTime,
                fill_.PartialPumpoutTime, card_.ExtTrigCounter, fill_.HighRepFill};
}

}  // namespace morvand
