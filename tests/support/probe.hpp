#pragma once
// Read access to a controller's private state for tests, without a test hook in the public
// header: the explicit instantiations below may name private members (the language allows
// it there), and each binds one member pointer to a free function.

#include "morvand/morvand.hpp"

namespace morvand::test {

template <typename Tag, typename Tag::type Member>
struct ProbeBind {
  friend typename Tag::type memberOf(Tag) { return Member; }
};

#define MORVAND_PROBE(Name, Type, member)                 \
  struct Name##Tag {                                      \
    using type = Type Morvand::*;                         \
    friend type memberOf(Name##Tag);                      \
  };                                                      \
  template struct ProbeBind<Name##Tag, &Morvand::member>; \
  inline Type& Name(Morvand& m) { return m.*memberOf(Name##Tag{}); }

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
