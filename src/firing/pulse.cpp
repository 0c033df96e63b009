// The internal pulse generator (counter 0), the repetition-rate prompt, the charge-mode line
// and the emergency halt.

#include <string>

#include "card/card_model.hpp"
#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {
/// Counter 0 fires the laser in internal-trigger operation.
constexpr int16_t kGeneratorCounter = wiring::kGeneratorCounter;
}  // namespace

void Morvand::Pulse(int32_t RepeatRate) {
  // The guard looks at the requested rate; the generator is programmed from the argument.
  if (RepRate == 0 || RepRate > state_->model_.RepRateMax) {
    PulseReset();
    return;
  }
  if (RepeatRate == 0) throw FloatError("division by zero: a rate of 0 Hz has no period");
  const float period = 1.0f / static_cast<float>(RepeatRate);  // s, single precision
  CardContext& card = CardContext::current();
  // No card test: without a card the driver gets the null handle and answers for itself.
  const CounterPulseStartRequest request{kGeneratorCounter, period, 0.0f, 0};
  if (!state_->driverOk(card.driver().CounterPulseStart(card.DeviceHandle, request))) return;
  RepRateOld = RepeatRate;
  if (card::cardModel(PCIcard).generatorTakesCounter) CountDisabled = true;
}

void Morvand::PulseOFF() {
  if (card::cardModel(PCIcard).stopsByFrequencyMode) {
    // Frequency-measurement mode takes counter 0 off the trigger output.
    CardContext& card = CardContext::current();
    const CounterFreqStartRequest request{kGeneratorCounter, 1, 0};
    const bool switched = state_->commandOk(
        [&] { return card.driver().CounterFreqStart(card.DeviceHandle, request); });
    // In a switch-off sequence the reset is still tried after a failed switch.
    if (!switched && !state_->switchingOff()) return;
  }
  PulseReset();
}

void Morvand::PulseReset() {
  if (!state_->cardSelected()) return;
  CardContext& card = CardContext::current();
  if (!state_->commandOk(
          [&] { return card.driver().CounterReset(card.DeviceHandle, kGeneratorCounter); })) {
    return;
  }
  RepRateOld = 0;
  if (card::cardModel(PCIcard).generatorTakesCounter) CountDisabled = false;
}

void Morvand::Immediate(int16_t mChMode) {
  // Charge-mode line: bit 1 of port 0. Written even without a card.
  const int16_t value = util::checkedInt16(static_cast<int64_t>(mChMode) * 2);
  if (state_->writePort(wiring::kControlPort, wiring::kChargeModeLine, value, {}, false))
    ChModeOld = ChMode;
}

void Morvand::Halt() {
  if (!state_->cardSelected()) return;
  // Every step is tried, also after a failed or throwing one.
  // Firing stops first (generator, stop request, enable line); the motor ramps down after.
  state_->switchOffSequence({
      [&] {
        if (!card::cardModel(PCIcard).stopsByFrequencyMode) return;
        // The counter chosen on the card form is switched to frequency measurement, which
        // takes it off the trigger output.
        CardContext& card = CardContext::current();
        const auto counter = static_cast<int16_t>(card.form().lstChannelCount.ListIndex());
        const CounterFreqStartRequest request{counter, 1, 0};
        state_->commandOk(
            [&] { return card.driver().CounterFreqStart(card.DeviceHandle, request); });
      },
      [&] { PulseReset(); },
      [&] { flag2 = kRunStop; },  // a running run loop leaves at its next check
      [&] { Enable(false); },
      [&] { MotorVStart(0); },
      [&] { VoltageOff(); },
      [&] { Reset(); },
  });
}

bool Morvand::ReprateSet() {
  if (RepRate == 0) RepRate = 20;
  // A cancelled prompt leaves the rate as it was when the prompt first opened, even after
  // rejected entries in between.
  const int32_t rateBefore = RepRate;
  for (;;) {
    const std::string prompt = "ENTER REPETITION RATE: CHOOSE A VALUE BETWEEN " +
                               std::to_string(state_->card_.RepRateMin) + " and " +
                               std::to_string(state_->model_.RepRateMax);
    const std::string answer =
        state_->host_.inputBox(prompt, "SET REP RATE", std::to_string(RepRate));
    if (answer.empty()) {
      RepRate = rateBefore;
      return false;
    }
    double value = 0.0;
    if (!util::parseNumber(answer, value)) {
      state_->operatorMessage("YOU MUST ENTER A REP RATE VALUE", kStyleInfo, "ERROR");
      state_->host_.beep();
      continue;
    }
    RepRate = util::toInt16(value);
    // Each entry is judged on its own: an earlier pull-back for the high-rate fill must not
    // make this entry fail.
    state_->fill_.HighRepFill = 0;
    HighRepSetup();
    if (state_->fill_.HighRepFill != 0) return false;
    if (RepRate > state_->model_.RepRateMax) {
      state_->operatorMessage("REPETITION RATE IS OVERRANGE PLEASE RESET", kStyleWarning,
                              "OVERRANGE ERROR");
    } else if (state_->card_.RepRateMin == 16 && RepRate < 16) {
      state_->operatorMessage("REPETITION RATE IS UNDERRANGE FOR PCI-1711 CARD PLEASE RESET",
                              kStyleWarning, "UNDERRANGE ERROR");
    } else if (state_->card_.RepRateMin < 16 && RepRate < state_->card_.RepRateMin) {
      state_->operatorMessage("REPETITION RATE IS UNDERRANGE FOR CONTROL CARD PLEASE RESET",
                              kStyleWarning, "UNDERRANGE ERROR");
    } else {
      return true;
    }
    state_->host_.beep();
  }
}

}  // namespace morvand
