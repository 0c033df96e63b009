// Partial gas replacement: pump the chamber down to 1600 Torr, then refill it from the
// premix cylinder in up to five timed fill cycles, watching every phase with the gauge.

#include "controller/state.hpp"
#include "gas/procedure.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {
constexpr float kPumpDownTarget = 1600.0f;  ///< Torr; also the pre-fill threshold
constexpr float kPreFillTarget = 2000.0f;   ///< Torr
constexpr float kMinimumDrop = 20.0f;       ///< Torr the pump-down must gain by its check

constexpr gas::Message kPremixCylinder{
    "IS A CYLINDER OF PREMIX GAS ATTACHED TO THE CORRECT LASER PORT, AND IS THE PREMIX LINE "
    "PUMPED OUT?",
    gas::kYesNoCancel, "PREMIX GAS CYLINDER?"};
// The question names the threshold this procedure actually tests.
constexpr gas::Message kChamberLow{
    "THERE MAY BE A PROBLEM, THE CHAMBER PRESSURE READS LESS THAN 1600 TORR, DO YOU WISH TO "
    "PROCEDE?",
    gas::kYesNoCancel, "CHAMBER PRESSURE LOW"};
constexpr gas::Message kLowPressure{
    "CHAMBER PRESSURE LOW, FILLING LASER TO 2000 TORR, THEN BEGINNING PARTIAL GAS REPLACEMENT",
    gas::kOkWarning, "LOW PRESSURE"};
constexpr gas::Message kPreFillTimeout{
    "THE LASER DID NOT REACH 2000 TORR IN THE TIME ALLOWED, PARTIAL GAS REPLACEMENT CANCELLED",
    gas::kOkCritical, "TIMEOUT"};
}  // namespace

void Morvand::GasPartialRefill() {
  if (state_->gasProcedureRefused(true)) return;
  gas::ActiveMark active(state_->gas_.procedureActive);
  gas::CloseOnFault closeOnFault([this] { state_->closeValvesSafely(); });
  const float& torr = state_->gas_.PressTorr;

  // Every phase closes the valves when it ends; the model with the high-pressure head also
  // gets the pump-and-premix opening at the end of every path.
  const auto phases = [&] {
    const auto& warning = gas::kManualValve;
    state_->operatorMessage(warning.text, warning.style, warning.title);
    Punits = gas::kUnitsTorr;
    const auto& cylinder = kPremixCylinder;
    if (state_->gasQuestionRefused(cylinder.text, cylinder.style, cylinder.title, cylinder.text)) {
      state_->closeValvesSafely();
      return;
    }
    PressMes();
    if (torr < 0.0f) {  // a gauge below its zero volts is broken
      state_->operatorMessage(gas::kBelowZero.text, gas::kBelowZero.style, gas::kBelowZero.title);
      return;
    }

    // Below the pump-down target there is nothing to pump against: pre-fill first.
    if (torr < kPumpDownTarget) {
      if (state_->gasQuestionRefused(kChamberLow.text, kChamberLow.style, kChamberLow.title,
                                     kLowPressure.text)) {
        state_->closeValvesSafely();
        return;
      }
      if (!state_->preFill(kPreFillTarget, kLowPressure, kPreFillTimeout)) return;
    }

    // Pump down to the target within the model's time; the drop is checked once, early.
    GasPumpout();
    PressMes();
    const float startPressure = torr;
    const double start = myTimer();
    float checkTime = gas::pumpCheckTime(LaserTypeFlag);
    const auto pumpFailed = [&] {
      state_->closeValvesSafely();
      state_->operatorMessage(gas::kPumpNoDrop.text, gas::kPumpNoDrop.style,
                              gas::kPumpNoDrop.title);
    };
    while (torr > kPumpDownTarget) {
      const float elapsed = util::toSingle(myTimer() - start);
      if (elapsed > state_->fill_.PartialPumpoutTime) return pumpFailed();
      state_->yieldToHost();
      PressMes();
      if (elapsed > checkTime) {
        if (torr + kMinimumDrop > startPressure) return pumpFailed();
        checkTime = state_->fill_.PartialPumpoutTime;
      }
    }
    state_->closeValvesSafely();
    PressMes();
    state_->refillCycles(torr + gas::kMinimumRise, false);
  };

  phases();
  if (modelRules(LaserTypeFlag).filterAfterPartialRefill) GasFilterPress();
}

}  // namespace morvand
