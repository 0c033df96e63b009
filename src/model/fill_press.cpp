// Gas-fill targets of the selected model and gas, and the high-repetition-rate regime.

#include <string>

#include "controller/state.hpp"
#include "morvand/models.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

void Morvand::SetFillPress() {
  const FillTarget target = fillTargetFor(LaserTypeFlag, GasFlag);
  state_->fill_.PartialPumpoutTime = target.PartialPumpoutTime;
  state_->fill_.PumpoutTime = target.PumpoutTime;
  if (target.GasText2 != nullptr) GasText2 = target.GasText2;
  if (target.GasText1 != nullptr) GasText1 = target.GasText1;
  if (target.FillPressLow) state_->fill_.FillPressLow = *target.FillPressLow;
  if (target.FillPressHigh) state_->fill_.FillPressHigh = *target.FillPressHigh;
}

void Morvand::HighRepSetup() {
  const HighRepRule* rule = findHighRepRule(LaserTypeFlag, GasFlag);
  if (rule == nullptr) return;
  HiVoltMax = rule->HiVoltMax;
  if (RepRate <= rule->threshold) return;
  HiVoltMax = rule->HiVoltMaxAbove;
  // The limit is in Torr, so it is compared with the last smoothed reading in Torr, whatever
  // unit the host reads Pressure in.
  if (state_->gas_.PressTorr <= rule->pressureLimit) return;
  // Always a modal box (OK, information icon): the operator must see it before the rate is
  // pulled back.
  state_->host_.messageBox("For operation above " + std::to_string(rule->threshold) +
                               "Hz use the high repetition rate gas fill",
                           kStyleInfo, "High Rep Fill");
  RepRate = rule->pulledBackRate;
  state_->fill_.HighRepFill = 1;
}

}  // namespace morvand
