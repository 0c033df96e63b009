#pragma once
// Private state of the controller, one small struct per owning subsystem. Each subsystem's
// structs live in its own header; only that subsystem writes them (others may read).

#include "card/card_state.hpp"
#include "controller/controller_state.hpp"
#include "firing/firing_state.hpp"
#include "gas/gas_state.hpp"
#include "hv/hv_state.hpp"
#include "model/model_state.hpp"
#include "morvand/morvand.hpp"
#include "motor/motor_state.hpp"
#include "thermal/thermal_state.hpp"

namespace morvand {

/// Everything a controller keeps to itself, behind Morvand::state_.
struct Morvand::State {
  State(HostServices& host, Events* events, Clock* clock)
      : host_(host), events_(events), clock_(clock) {}

  HostServices& host_;
  Events* events_ = nullptr;
  Clock* clock_ = nullptr;

  detail::MessageState msg_;
  detail::SettingsState settings_;
  detail::CardState card_;
  detail::CounterState counters_;
  detail::ModelState model_;
  detail::FillState fill_;
  detail::HighVoltageState hv_;
  detail::EnergyState energy_;
  detail::GasState gas_;
  detail::ThermalState thermal_;
  detail::ThyratronState thyratron_;
  detail::RunState run_;
  detail::PulseState pulse_;
  detail::ExtTriggerState ext_;
  detail::MotorState motor_;
};

/// The one door to a controller's private state, for the library's own code and its tests.
struct Internals {
  static Morvand::State& state(Morvand& m) { return *m.state_; }
  static const Morvand::State& state(const Morvand& m) { return *m.state_; }
};

}  // namespace morvand
