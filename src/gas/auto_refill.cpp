// Automatic gas replacement: pump the chamber out for the model's pump-out time, then refill
// it from the premix cylinder in up to five timed fill cycles, watching every phase with the
// pressure gauge.

#include "controller/state.hpp"
#include "gas/procedure.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {
constexpr float kLowChamber = 760.0f;      ///< Torr: below this the chamber is pre-filled
constexpr float kPreFillTarget = 1000.0f;  ///< Torr
constexpr float kMinimumDrop = 30.0f;      ///< Torr the pump-out must gain by its check

constexpr gas::Message kLowPressure{
    "CHAMBER PRESSURE LOW, FILLING LASER TO 1000 TORR AND THEN STARTING AUTOFILL", gas::kOkWarning,
    "LOW PRESSURE"};
constexpr gas::Message kPreFillTimeout{
    "THE LASER DID NOT REACH 1000 TORR IN THE TIME ALLOWED, AUTOFILL CANCELLED", gas::kOkCritical,
    "TIMEOUT"};
}  // namespace

void Morvand::GasAutoRefill() {
  if (!state_->cardSelected()) return;
  if (state_->gasProcedureRefused(true)) return;
  gas::ActiveMark active(state_->gas_.procedureActive);
  gas::CloseOnFault closeOnFault([this] { state_->closeValvesSafely(); });
  const float& torr = state_->gas_.PressTorr;

  // Every phase closes the valves when it ends; the pump-and-premix opening ends every path.
  const auto phases = [&] {
    Punits = gas::kUnitsTorr;
    PressMes();
    if (torr < 0.0f) {  // a gauge below its zero volts is broken
      state_->operatorMessage(gas::kBelowZero.text, gas::kBelowZero.style, gas::kBelowZero.title);
      return;
    }

    // A nearly empty chamber gives the pump-out check nothing to measure: pre-fill it.
    if (torr < kLowChamber) {
      const auto& q = gas::kChamberLow760;
      if (state_->gasQuestionRefused(q.text, q.style, q.title, kLowPressure.text)) {
        state_->closeValvesSafely();
        return;
      }
      if (!state_->preFill(kPreFillTarget, kLowPressure, kPreFillTimeout)) return;
    }

    // Pump-out for the model's full time; the drop is checked once, early, so a dead pump or
    // a closed valve is found before minutes are spent.
    float checkTime = gas::pumpCheckTime(LaserTypeFlag);
    GasPumpout();
    PressMes();
    const float pumpLimit = torr - kMinimumDrop;
    const double start = myTimer();
    float elapsed = 0.0f;
    while (elapsed < state_->fill_.PumpoutTime) {
      elapsed = util::toSingle(myTimer() - start);
      state_->yieldToHost();
      PressMes();
      if (elapsed > checkTime) {
        if (torr > pumpLimit) {
          state_->closeValvesSafely();
          state_->operatorMessage(gas::kPumpNoDrop.text, gas::kPumpNoDrop.style,
                                  gas::kPumpNoDrop.title);
          return;
        }
        checkTime = state_->fill_.PumpoutTime;
      }
    }
    state_->closeValvesSafely();
    PressMes();
    state_->refillCycles(torr + gas::kMinimumRise, true);
  };

  phases();
  GasFilterPress();
}

}  // namespace morvand
