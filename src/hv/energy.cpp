// Pulse energy: the energy monitor on analog input 1, a plausibility filter and the mean
// and spread of the last ten accepted samples.

#include <cmath>

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "model/model_rules.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"
#include "util/smoothing.hpp"

namespace morvand {

namespace {
constexpr int16_t kMonitorChannel = wiring::kEnergyMonitorChannel;
constexpr double kMonitorOffsetVolts = 0.2;
/// The filter applies once the sample before the newest exceeded this.
constexpr float kFilterFrom = 4.0f;
/// A sample below the mean divided by this is a missed pulse.
constexpr double kLowFraction = 5.0;
/// Highest plausible sample of a model.
float ceilingOf(int16_t model) { return modelRules(model).energyCeiling; }
}  // namespace

float Morvand::EnergyMes() {
  if (!state_->cardSelected()) return 0.0f;
  float volts = 0.0f;
  if (!state_->readAnalog(kMonitorChannel, volts)) return -1.0f;
  const float sample = util::toSingle((volts - kMonitorOffsetVolts) * state_->model_.EnergyScale);

  auto& history = state_->energy_.EnergyHistory;
  if (history[1] > kFilterFrom) {
    if (util::toSingle(state_->energy_.EnergyAvg / kLowFraction) > sample) return 0.0f;
    if (sample > ceilingOf(LaserTypeFlag)) return 0.0f;
  }

  util::pushReading(history, state_->energy_.samples, sample);
  const double mean = util::meanOfTaken(history, state_->energy_.samples);
  state_->energy_.EnergyAvg = util::toSingle(mean);
  if (state_->energy_.EnergyAvg <= 0.0f) {
    Energy = 0.0f;
    Sigma = 0.0f;
    return 0.0f;
  }
  double squares = 0.0;
  for (int32_t i = 0; i < state_->energy_.samples; ++i) {
    const double d =
        history[static_cast<std::size_t>(i)] - static_cast<double>(state_->energy_.EnergyAvg);
    squares += d * d;
  }
  Energy = state_->energy_.EnergyAvg;
  Sigma = util::toSingle(std::sqrt(squares / state_->energy_.samples) * 100.0 /
                         state_->energy_.EnergyAvg);
  return Energy;
}

}  // namespace morvand
