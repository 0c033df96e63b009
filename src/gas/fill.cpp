// The small gas operations the procedures are built from: the fill path, the pump-out path,
// the guarded manual fill and the short pump-and-premix opening that ends a refill.

#include "controller/state.hpp"
#include "gas/procedure.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

namespace {
constexpr double kFilterPressTime = 2.0;  ///< s with pump and premix open
}  // namespace

bool Morvand::GasFill() {
  const bool opened = OpenValves(gas::kPatternFill);
  // The per-fill pulse count restarts only when fresh gas can actually flow: a failed valve
  // write leaves the old gas, and its count, in the chamber.
  if (opened) PulsesThisFill = 0;
  return opened;
}

bool Morvand::GasPumpout() { return OpenValves(gas::kPatternPumpout); }

void Morvand::FillLaser() {
  if (state_->gasProcedureRefused(false)) return;  // not during a run
  // Both texts always go out as events: the host's own fill panel shows them.
  state_->events().LaserMessenger(
      "Is a Cylinder of Premix gas Attached to the Laser, and has the line been pumped out?");
  PressMes();
  // The model maximum is in Torr, so it is compared with the reading in Torr whatever unit the
  // host has chosen for Pressure.
  if (state_->gas_.PressTorr > state_->model_.PressMax) {
    state_->events().LaserMessenger("THE PRESSURE IS ALREADY ABOVE THE RECOMMENDED MAXIMUM");
    return;
  }
  GasFill();  // premix and main stay open: the host ends the fill
}

void Morvand::GasFilterPress() {
  if (!state_->cardSelected()) return;
  if (state_->gasProcedureRefused(false)) return;  // not during a run
  CloseAllValves();
  OpenValves(gas::kPatternFilterPress);
  {
    gas::CloseOnFault closeOnFault([this] { state_->closeValvesSafely(); });
    Waiting(kFilterPressTime);
  }
  state_->closeValvesSafely();
}

}  // namespace morvand
