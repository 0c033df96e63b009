// Gas pressure: the gauge on analog input 0, smoothed over the last four readings.

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"
#include "util/smoothing.hpp"

namespace morvand {

namespace {
constexpr int16_t kGaugeChannel = wiring::kGaugeChannel;
constexpr double kGaugeOffsetVolts = 0.1;  ///< the gauge reads 0 Torr at 0.1 V
/// Torr per unit: 760 Torr is exactly 1000 mbar and 100 kPa.
constexpr double kTorrPerMbar = 0.76;
constexpr double kTorrPerKPa = 7.6;
}  // namespace

float Morvand::PressMes() {
  // The pressure is read whether or not a card is selected: the driver's answer decides.
  float volts = 0.0f;
  if (!state_->readAnalog(kGaugeChannel, volts, {}, false)) return -1.0f;
  const float torr = util::toSingle((volts - kGaugeOffsetVolts) * state_->model_.PressScale);
  util::pushReading(state_->gas_.PressHistory, state_->gas_.readings, torr);
  // The history stays in Torr; only the average is converted, so a change of unit never
  // disturbs the smoothing. The conversion starts from the single-precision Torr average,
  // the value a Torr reading would report.
  state_->gas_.PressTorr =
      util::toSingle(util::meanOfTaken(state_->gas_.PressHistory, state_->gas_.readings));
  const double average = state_->gas_.PressTorr;
  switch (Punits) {
    case 1:
      Pressure = util::toSingle(average / kTorrPerMbar);
      break;
    case 2:
      Pressure = util::toSingle(average / kTorrPerKPa);
      break;
    default:
      Pressure = state_->gas_.PressTorr;
      break;
  }
  return Pressure;
}

}  // namespace morvand
