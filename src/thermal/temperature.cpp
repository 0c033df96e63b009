// Gas temperature on analog input 4 and the heat-exchanger fan on port 0 line 4.

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"
#include "util/smoothing.hpp"

namespace morvand {

namespace {
constexpr int16_t kSensorChannel = wiring::kTemperatureChannel;
constexpr double kDegreesPerVolt = 10.0;
constexpr int16_t kControlPort = wiring::kControlPort;
/// The fan line is active low: 0 runs the fan, 1 stops it.
constexpr int16_t kFanLine = wiring::kFanLine;
}  // namespace

float Morvand::TempMes() {
  if (!state_->cardSelected()) return 0.0f;
  float volts = 0.0f;
  if (!state_->readAnalog(kSensorChannel, volts)) return -1.0f;
  util::pushReading(state_->thermal_.TempHistory, state_->thermal_.readings,
                    util::toSingle(volts * kDegreesPerVolt));
  temp = util::toSingle(util::meanOfTaken(state_->thermal_.TempHistory, state_->thermal_.readings));
  return temp;
}

bool Morvand::TempControl(float dT) {
  const float measured = TempMes();
  // Dead band TempSet - dT .. TempSet + dT, both ends included: the fan stays as it is.
  // The upper test uses this reading (never true after a failed or no-card reading), the
  // lower one the last good temperature.
  if (util::toSingle(static_cast<double>(TempSet) + dT) < measured) {
    Fan(true);
  } else if (util::toSingle(static_cast<double>(TempSet) - dT) > temp) {
    Fan(false);
  }
  return temp <= state_->model_.TempMax;
}

bool Morvand::Fan(bool FanOn) {
  return state_->writePort(kControlPort, kFanLine, FanOn ? 0 : kFanLine);
}

}  // namespace morvand
