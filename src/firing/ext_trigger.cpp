// External trigger: the external start input, trigger-rate measurements on the counters and
// the trigger tests that fire the internal generator with the charging voltage at 0.

#include <cmath>
#include <string>

#include "card/card_model.hpp"
#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {
/// Analog input 9 carries the external start signal, V.
constexpr int16_t kExtStartChannel = wiring::kExtStartChannel;
constexpr float kExtStartOn = 4.0f;   // above: active
constexpr float kExtStartOff = 1.0f;  // below: inactive; in between the state holds

/// Status text of a measured trigger rate; off tells whether the rate counts as no trigger.
std::string triggerText(float rate, int32_t rateMax, bool off) {
  if (rate > static_cast<float>(rateMax)) return "Ext. Trigger Overflow";
  if (off) return "Ext. Trigger Off";
  return "Ext. Trigger Active";
}
}  // namespace

bool Morvand::ExtStart() {
  if (!state_->cardSelected()) return false;
  float volts = 0.0f;
  if (!state_->readAnalog(kExtStartChannel, volts)) {
    ExtStartFlag = false;
    return false;
  }
  if (volts > kExtStartOn) {
    ExtStartFlag = true;
    return true;
  }
  if (volts < kExtStartOff) ExtStartFlag = false;
  return false;
}

bool Morvand::ExtRepRateMes() {
  if (!state_->cardSelected()) return false;
  const int16_t counter = state_->card_.ExtTrigCounter;
  if (CountDisabled) {
    // The generator holds the counter: counting must be started afresh afterwards.
    state_->counters_.CountActive.at(static_cast<size_t>(counter)) = false;
    return false;
  }
  if (state_->counters_.CountActive.at(static_cast<size_t>(counter))) {
    if (CounterRead(counter)) {
      // One decimal place, halves away from zero, as the rate is shown to the operator.
      const double rate = state_->counters_.CountFreq.at(static_cast<size_t>(counter));
      ExtRepRate = util::toSingle(std::round(rate * 10.0) / 10.0);
      // The status follows the measured rate: 0.05 Hz shows as 0.1 but is no trigger.
      state_->msg_.MsgText =
          triggerText(static_cast<float>(rate), state_->model_.RepRateMax, rate < 0.1);
      state_->events().ExtRepRateRead(ExtRepRate, state_->msg_.MsgText);
    }
  } else {
    CounterStart(counter);
  }
  return true;
}

float Morvand::ExtRepRateMes1() {
  if (!card::cardModel(PCIcard).externalRateOnCounter1) return 0.0f;
  if (state_->ext_.Count1StartTime == 0.0) {
    state_->ext_.Count1StartTime = myTimer();
    Counter1Start();
    return -1.0f;
  }
  state_->ext_.Count1ReadTime = myTimer();
  const double gate = state_->ext_.Count1ReadTime - state_->ext_.Count1StartTime;  // s
  if (!(gate > CountPeriod)) return -1.0f;
  ExtRepRate2 = ExtRepRate1;
  ExtRepRate1 = util::toInt32(ExtRepRate);
  Counter1Read();
  ExtRepRate = util::toSingle(util::divide(state_->counters_.Counter1Count, gate));
  // The next gate starts now.
  state_->ext_.Count1StartTime = myTimer();
  Counter1Start();
  state_->msg_.MsgText = triggerText(ExtRepRate, state_->model_.RepRateMax, !(ExtRepRate > 0.0f));
  state_->events().ExtRepRateRead(ExtRepRate, state_->msg_.MsgText);
  return ExtRepRate;
}

int32_t Morvand::InTrigMes() {
  // Without a card nothing is counted: no rate, rather than the count of an earlier
  // measurement over a fresh gate.
  if (!state_->cardSelected()) return 0;
  state_->ext_.Count1StartTime = myTimer();
  Counter1Start();
  Waiting(2.0);
  state_->ext_.Count1ReadTime = myTimer();
  Counter1Read();
  return util::toInt32(util::divide(state_->counters_.Counter1Count,
                                    state_->ext_.Count1ReadTime - state_->ext_.Count1StartTime));
}

bool Morvand::InTrigTest() {
  VoltageOff();  // the generator fires with the charging voltage programmed to 0
  if (!ReprateSet()) return false;
  Immediate(0);
  Pulse(RepRate);
  return true;
}

bool Morvand::InTrigDCTest() {
  VoltageOff();
  if (!ReprateSet()) return false;
  Immediate(1);
  Pulse(RepRate);
  return true;
}

void Morvand::InTrigOff() {
  VoltageOff();
  Immediate(0);
  PulseReset();
}

}  // namespace morvand
