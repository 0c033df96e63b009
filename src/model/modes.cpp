// Operating modes, and the conversion between the host's set-point slider and the set-points.

#include <charconv>
#include <cmath>
#include <string>

#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

// In energy mode the slider spans 20 % to 90 % of the model's energy range.
constexpr double kSliderEnergyFloor = 0.2;
constexpr double kSliderEnergySpan = 0.7;

// A set-point as a single; a value too large for one is a floating-point fault here.
float toSetPoint(double value) {
  try {
    return util::toSingle(value);
  } catch (const OverflowError&) {
    throw FloatError("set-point out of range");
  }
}

// At least one integer digit and exactly two decimals ("5.00", "13.00", "-0.50"); a value
// exactly halfway between two hundredths goes away from zero, as a display pattern does
// (11.125 reads 11.13).
std::string twoDecimals(float value) {
  // Exact: a single's 24-bit significand times 100 fits a double's 53 bits.
  const double hundredths = std::round(static_cast<double>(value) * 100.0);
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, hundredths / 100.0, std::chars_format::fixed, 2);
  return std::string(text, result.ptr);
}

}  // namespace

void Morvand::SetChargeMode(int16_t mChMode) { ChMode = mChMode; }

void Morvand::SetTriggerMode(int16_t mTrigMode) { TrigMode = mTrigMode; }

void Morvand::SetLaserStandby(int16_t mLaserStandby) { LaserStandby = mLaserStandby != 0; }

float Morvand::EV_to_Slider() {
  if (mode == 1) {
    const double fraction = util::divide(SetEnergy, MaxEnergyVal);
    return toSetPoint((fraction - kSliderEnergyFloor) / kSliderEnergySpan);
  }
  return toSetPoint(util::divide(static_cast<double>(VoltSet) - HiVoltMin,
                                 static_cast<double>(HiVoltMax) - HiVoltMin));
}

std::string Morvand::Slider_to_EV(float SetValue) {
  if (mode == 1) {
    SetEnergy = toSetPoint((SetValue * kSliderEnergySpan + kSliderEnergyFloor) * MaxEnergyVal);
    return twoDecimals(SetEnergy);
  }
  VoltSet = toSetPoint((static_cast<double>(HiVoltMax) - HiVoltMin) * SetValue + HiVoltMin);
  return twoDecimals(VoltSet);
}

}  // namespace morvand
