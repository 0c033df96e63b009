// Construction and destruction sequences.

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

Morvand::Morvand(HostServices& host, Events* events, Clock* clock,
                 const std::string& settingsDirectory)
    : state_(std::make_unique<State>(*this, host, events,
                                     clock != nullptr ? clock : &SystemClock::instance())) {
  state_->settings_.directory = settingsDirectory;
  state_->loadSettings();
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
  flag2 = kRunStop;  // a run loop that is still active leaves at its next check
  if (PCIcard != 0) {
    CardContext& card = CardContext::current();
    // The shutdown is a switch-off sequence: its commands get their second try.
    detail::SwitchOffScope switchingOff(state_->card_.switchOffDepth);
    // A failing reset of the generator counter is reported, and the shutdown goes on:
    // skipping the rest would leave the fan, the generator and the card as they are and
    // lose the session's counts and selection.
    step([&] {
      state_->commandOk(
          [&] { return card.driver().CounterReset(card.DeviceHandle, wiring::kGeneratorCounter); });
    });
    step([&] { Waiting(0.1); });
    step([&] { Fan(true); });
    step([&] { Halt(); });
    step([&] {
      card.deviceOpen = false;
      state_->driverOk(card.driver().DeviceClose(&card.DeviceHandle));
    });
  }
  step([&] { state_->storeSettings(); });
}

Limits Morvand::limits() const {
  return Limits{
      state_->model_.RepRateMax,        state_->model_.RepRateMedium, state_->model_.RepRateSlow,
      state_->card_.RepRateMin,         state_->model_.TempMax,       state_->model_.EnergyScale,
      state_->model_.ThyWarmTime,       state_->model_.PressScale,    state_->model_.PressMax,
      state_->fill_.FillPressLow,       state_->fill_.FillPressHigh,  state_->fill_.PumpoutTime,
      state_->fill_.PartialPumpoutTime, state_->card_.ExtTrigCounter, state_->fill_.HighRepFill};
}

}  // namespace morvand
