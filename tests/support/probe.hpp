#pragma once
// The one internal test header: a controller's private state for tests, through the
// library's own door to it (Internals, src/controller/state.hpp).

#include "controller/state.hpp"
#include "morvand/morvand.hpp"

namespace morvand::test {

#define MORVAND_PROBE(Name, Type, member) \
  inline Type& Name(Morvand& m) { return Internals::state(m).member; }

MORVAND_PROBE(counterState, detail::CounterState, counters_)
MORVAND_PROBE(cardState, detail::CardState, card_)
MORVAND_PROBE(highVoltageState, detail::HighVoltageState, hv_)
MORVAND_PROBE(energyState, detail::EnergyState, energy_)
MORVAND_PROBE(gasState, detail::GasState, gas_)
MORVAND_PROBE(thermalState, detail::ThermalState, thermal_)
MORVAND_PROBE(messageState, detail::MessageState, msg_)
MORVAND_PROBE(runState, detail::RunState, run_)
MORVAND_PROBE(fillState, detail::FillState, fill_)

#undef MORVAND_PROBE

}  // namespace morvand::test
