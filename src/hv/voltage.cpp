// The charging voltage: the set-point on analog output 0, the read-back on analog input 2,
// the 12 V supply and programming-voltage test inputs, and the DC enable of the HV test.

#include <algorithm>
#include <array>

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

constexpr int16_t kSetPointChannel = wiring::kHvSetPointOutput;  ///< AO 0, 0 to 5 V
constexpr int16_t kReadBackChannel = wiring::kHvReadBackChannel;
constexpr int16_t kProgrammingTestChannel = wiring::kHvProgrammingTestChannel;
constexpr int16_t kSupplyTestChannel = wiring::kSupplyTestChannel;
constexpr float kMaxCardVolts = 5.0f;
constexpr double kReadBackKvPerVolt = 20.0;
constexpr double kSupplyDivider = 3.0;  ///< supply volts per card volt

/// kV per card volt of the charging supply's programming input, by model code.
struct Divisor {
  int16_t kvPerVolt;
  std::array<int16_t, 6> models;  ///< 0 marks an unused place
};
constexpr std::array<Divisor, 2> kDivisors{{
    {3, {31, 32, 33, 42, 50, 58}},
    {6, {44, 45, 55, 0, 0, 0}},
}};
constexpr int16_t kDefaultDivisor = 4;

int16_t divisorOf(int16_t model) {
  for (const auto& d : kDivisors) {
    if (std::find(d.models.begin(), d.models.end(), model) != d.models.end()) return d.kvPerVolt;
  }
  return kDefaultDivisor;
}

constexpr int16_t kControlPort = wiring::kControlPort;
constexpr int16_t kChargeModeAndEnable =
    wiring::kChargeModeLine | wiring::kLine7;  ///< lines 1 and 7

}  // namespace

void Morvand::VoltageSet(float mVoltSet) {
  float volts = util::toSingle(static_cast<double>(mVoltSet) / divisorOf(LaserTypeFlag));
  if (volts >= kMaxCardVolts) volts = kMaxCardVolts;
  // A failing range configuration is always shown as a box, whatever PopupMessage says.
  state_->writeAnalog(kSetPointChannel, volts, State::Tags{"1-7578 Error!!", nullptr});
}

void Morvand::VoltageOff() {
  if (!state_->cardSelected()) return;
  CardContext& card = CardContext::current();
  // The output keeps its configured range: only the value is written.
  card.aoConfig = {kSetPointChannel, kMaxCardVolts, 0.0f};
  state_->writeAnalogOut(kSetPointChannel, 0.0f);
}

float Morvand::VoltageMes() {
  if (!state_->cardSelected()) return 0.0f;
  float volts = 0.0f;
  if (!state_->readAnalog(kReadBackChannel, volts)) return -1.0f;
  state_->hv_.HVoltRawOld = state_->hv_.HVoltRaw;
  state_->hv_.HVoltRaw = util::toSingle(volts * kReadBackKvPerVolt);
  // Average of the last two read-backs; the first one stands alone.
  if (state_->hv_.readings < 2) ++state_->hv_.readings;
  HVoltage = state_->hv_.readings < 2
                 ? state_->hv_.HVoltRaw
                 : util::toSingle(
                       (static_cast<double>(state_->hv_.HVoltRaw) + state_->hv_.HVoltRawOld) / 2.0);
  return HVoltage;
}

float Morvand::VoltTest12() {
  if (!state_->cardSelected()) return 0.0f;
  float volts = 0.0f;
  if (!state_->readAnalog(kSupplyTestChannel, volts)) return -1.0f;
  state_->hv_.VoltTest = util::toSingle(volts * kSupplyDivider);
  return state_->hv_.VoltTest;
}

float Morvand::VprogTest() {
  if (!state_->cardSelected()) return 0.0f;
  float volts = 0.0f;
  if (!state_->readAnalog(kProgrammingTestChannel, volts)) return -1.0f;
  return volts;
}

void Morvand::State::EnableDC() {
  // Charge mode and enable go high in the same write.
  writePort(kControlPort, kChargeModeAndEnable, kChargeModeAndEnable);
}

}  // namespace morvand
