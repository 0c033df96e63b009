// Optics service: the chamber is emptied and held under helium while the optics are off,
// then purged and refilled with premix when the service is complete.

#include <algorithm>
#include <string>

#include "controller/state.hpp"
#include "gas/procedure.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

constexpr float kPumpedOut = 20.0f;      ///< Torr: a pump-out ends at or below this
constexpr float kPurged = 500.0f;        ///< Torr: a helium purge ends at or above this
constexpr float kHeliumFilled = 900.0f;  ///< Torr the helium fill must pass
constexpr float kLowChamber = 760.0f;    ///< Torr
constexpr float kMinimumDrop = 20.0f;    ///< Torr the first pump-out must gain by its check

constexpr float kFirstPumpTime = 600.0f;   ///< s
constexpr float kFirstPumpCheck = 15.0f;   ///< s
constexpr float kPurgeTime = 30.0f;        ///< s
constexpr float kSecondPumpTime = 300.0f;  ///< s
constexpr float kHeliumFillTime = 50.0f;   ///< s
constexpr float kFinishPumpTime = 200.0f;  ///< s
constexpr float kFinishFillTime = 60.0f;   ///< s
constexpr int kFinishPumpouts = 3;

constexpr gas::Message kHeliumCylinder{
    "IS A CYLINDER OF HELIUM GAS ATTACHED TO THE CORRECT LASER PORT, IS THE HELIUM LINE PUMPED "
    "OUT, IS THE LINE PRESSURIZED WITH HELIUM GAS?",
    gas::kYesNoCancel, "HELIUM GAS CYLINDER"};
constexpr gas::Message kRegulator{"THE HELIUM REGULATOR MUST BE SET IN THE RANGE 2-5 PSI",
                                  gas::kOkWarning, "SET REGULATOR PRESSURE"};
constexpr const char* kChamberLowNote =
    "THERE MAY BE A PROBLEM, THE CHAMBER PRESSURE READS LESS THAN 760 TORR";
constexpr gas::Message kLowHelium{"Helium pressure in the chamber is low, use manual controls",
                                  gas::kOkWarning, "Low Helium Pressure"};
constexpr gas::Message kServiceNow{
    "It is now safe to remove the optics for service, Helium will flow when the optics are "
    "removed. After service is completed click the FINISH OPTICS SERVICE command",
    gas::kOkWarning, "SERVICE OPTICS NOW"};
constexpr gas::Message kServiceComplete{"Is the Optics Service Complete?", gas::kYesNoCancel,
                                        "OPTICS SERVICE"};
constexpr const char* kServiceCompleteNote = "The Optics Service Complete";
}  // namespace

bool Morvand::OpticsSevStart() {
  if (state_->gasProcedureRefused(false)) return false;
  gas::ActiveMark active(state_->gas_.procedureActive);
  gas::CloseOnFault closeOnFault([this] { state_->closeValvesSafely(); });
  const float& torr = state_->gas_.PressTorr;

  // A step that ran out of time asks whether to go on; No ends the service.
  const auto pumpProblemRefused = [&] {
    const std::string p = gas::pressureText(torr);
    return state_->gasQuestionRefused("Pump out to " + p + " Torr, do you want to procede?",
                                      gas::kYesNoWarning, "Pump Out Problem",
                                      "Pump Out Problem: Pump out to " + p + " Torr");
  };
  const auto purgeProblemRefused = [&] {
    const std::string p = gas::pressureText(torr);
    return state_->gasQuestionRefused("Purge to " + p + " Torr, do you want to procede?",
                                      gas::kYesNoWarning, "Purge Problem",
                                      "Purge Problem: Purge to " + p + " Torr");
  };

  state_->operatorMessage(gas::kManualValve.text, gas::kManualValve.style, gas::kManualValve.title);
  if (state_->gasQuestionRefused(kHeliumCylinder.text, kHeliumCylinder.style, kHeliumCylinder.title,
                                 kHeliumCylinder.text)) {
    return false;
  }
  state_->operatorMessage(kRegulator.text, kRegulator.style, kRegulator.title);
  Punits = gas::kUnitsTorr;
  PressMes();
  if (torr < 0.0f) {  // a gauge below its zero volts is broken
    state_->operatorMessage(gas::kBelowZero.text, gas::kBelowZero.style, gas::kBelowZero.title);
    return false;
  }
  if (torr < kLowChamber) {
    const auto& q = gas::kChamberLow760;
    if (state_->gasQuestionRefused(q.text, q.style, q.title, kChamberLowNote)) return false;
  }

  // First pump-out; its drop is checked once, after 15 s.
  Pumpout();
  const float startPressure = torr;
  const double start = myTimer();
  float checkTime = kFirstPumpCheck;
  float elapsed = 0.0f;
  while (elapsed < kFirstPumpTime && torr > kPumpedOut) {
    elapsed = util::toSingle(myTimer() - start);
    state_->yieldToHost();
    PressMes();
    if (elapsed > checkTime) {
      if (torr + kMinimumDrop > startPressure) {
        state_->closeValvesSafely();
        state_->operatorMessage(gas::kPumpNoDrop.text, gas::kPumpNoDrop.style,
                                gas::kPumpNoDrop.title);
        return false;
      }
      checkTime = kFirstPumpTime + 10.0f;  // beyond the pump-out: the check is not repeated
    }
  }
  if (torr > kPumpedOut) {
    state_->closeValvesSafely();
    if (pumpProblemRefused()) return false;
  }

  HeliumFill();
  state_->pollPressure(kPurgeTime, State::PollStop::AtOrAbove, kPurged, false);
  if (torr < kPurged) {
    state_->closeValvesSafely();
    if (purgeProblemRefused()) return false;
  }

  Pumpout();
  state_->pollPressure(kSecondPumpTime, State::PollStop::AtOrBelow, kPumpedOut, false);
  if (torr > kPumpedOut) {
    state_->closeValvesSafely();
    if (pumpProblemRefused()) return false;
  }

  // Helium fill: above 900 Torr at any time, or exactly 900 once the fill time is over.
  HeliumFill();
  const double fillStart = myTimer();
  for (;;) {
    const float fillElapsed = util::toSingle(myTimer() - fillStart);
    state_->yieldToHost();
    PressMes();
    if (torr > kHeliumFilled) break;
    if (fillElapsed >= kHeliumFillTime) {
      if (torr == kHeliumFilled) break;
      state_->closeValvesSafely();
      state_->operatorMessage(kLowHelium.text, kLowHelium.style, kLowHelium.title);
      return false;
    }
  }

  // Helium and main stay open: helium flows out while the optics are off.
  state_->operatorMessage(kServiceNow.text, kServiceNow.style, kServiceNow.title);
  return true;
}

bool Morvand::OpticsSevFinish() {
  if (state_->gasProcedureRefused(true)) return false;
  gas::ActiveMark active(state_->gas_.procedureActive);
  gas::CloseOnFault closeOnFault([this] { state_->closeValvesSafely(); });

  if (state_->gasQuestionRefused(kServiceComplete.text, kServiceComplete.style,
                                 kServiceComplete.title, kServiceCompleteNote)) {
    return false;
  }
  Punits = gas::kUnitsTorr;
  const float& torr = state_->gas_.PressTorr;
  // A pump-out or purge that runs out of time is reported as the start reports it, and the
  // service goes on: the next steps dilute the air further.
  const auto reportProblem = [&](const char* title, const std::string& text) {
    state_->operatorMessage(text, gas::kOkWarning, title);
  };
  // Pump, purge, pump, purge, pump: the air let in with the optics is diluted away.
  for (int pumpout = 1; pumpout <= kFinishPumpouts; ++pumpout) {
    Pumpout();
    state_->pollPressure(kFinishPumpTime, State::PollStop::AtOrBelow, kPumpedOut, false);
    const bool pumpedOut = torr <= kPumpedOut;
    if (pumpout == kFinishPumpouts) state_->closeValvesSafely();
    if (!pumpedOut) {
      reportProblem("Pump Out Problem",
                    "Pump Out Problem: Pump out to " + gas::pressureText(torr) + " Torr");
    }
    if (pumpout == kFinishPumpouts) break;
    HeliumFill();
    state_->pollPressure(kPurgeTime, State::PollStop::AtOrAbove, kPurged, false);
    state_->closeValvesSafely();
    if (torr < kPurged) {
      reportProblem("Purge Problem",
                    "Purge Problem: Purge to " + gas::pressureText(torr) + " Torr");
    }
  }
  // Premix fill: it stops at the target, at either limit or when its time is over.
  const float stopAbove = std::min(
      {state_->fill_.FillPressLow, state_->fill_.FillPressHigh, gas::fillCap(LaserTypeFlag)});
  GasFill();
  state_->pollPressure(kFinishFillTime, State::PollStop::Above, stopAbove, true);
  state_->closeValvesSafely();
  // A fill that ran out of time has not refilled the chamber.
  if (!(torr > stopAbove)) {
    state_->operatorMessage(gas::fillShortText(torr, state_->fill_.FillPressLow), gas::kOkWarning,
                            gas::kFillShortTitle);
    return false;
  }
  return true;
}

}  // namespace morvand
