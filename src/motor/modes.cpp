// Digital motor speed levels and the rate-driven motor sequences.
//
// Port 0: bit 1 is the charge-mode line, bits 2 and 3 select the speed (level 1 bit 2,
// level 2 bit 3, level 3 both); level 0 stops the motor.

#include <string>

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "model/model_rules.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {
// Who raised MotorSelect.
constexpr int16_t kSelectFailed = 0;
constexpr int16_t kSelectMotor = 1;
constexpr int16_t kSelectDCmotor = 2;
constexpr int16_t kSelectStart = 3;
constexpr int16_t kSelectSet = 4;

/// The two lines of the motor's speed level, from the motor line up.
constexpr int16_t kLevelLines = wiring::kMotorLine * 3;

/// Speed levels 0 (stop) to 3 exist; any other is refused before the card is touched.
void checkLevel(int16_t level) {
  if (level < 0 || level > 3) {
    throw IndexError("motor level " + std::to_string(level) + " does not exist (0 to 3)");
  }
}
}  // namespace

bool Morvand::Motor(int16_t MotorMode) {
  if (!state_->cardSelected()) return false;
  const int16_t value = util::checkedInt16(static_cast<int64_t>(MotorMode) * 4);
  checkLevel(MotorMode);
  // The level sits on the two lines from the motor line up (value = level x 4). Stopping
  // also clears the charge-mode line; a speed level leaves it alone.
  const int16_t mask = MotorMode != 0 ? kLevelLines : kLevelLines | wiring::kChargeModeLine;
  if (!state_->writePort(wiring::kControlPort, mask, value)) {
    state_->events().MotorSelect(mmode, kSelectFailed);
    return false;
  }
  mmode = MotorMode;
  state_->events().MotorSelect(MotorMode, kSelectMotor);
  return true;
}

bool Morvand::DCmotorOn(int16_t MotorMode) {
  if (!state_->cardSelected()) return false;
  checkLevel(MotorMode);
  // Line 7 lies outside the mask; the charge-mode line follows ChMode.
  const int16_t value = MotorMode == 0
                            ? 0
                            : static_cast<int16_t>(wiring::kLine7 + MotorMode * wiring::kMotorLine +
                                                   (ChMode == 1 ? wiring::kChargeModeLine : 0));
  if (!state_->writePort(wiring::kControlPort, kLevelLines | wiring::kChargeModeLine, value)) {
    state_->events().MotorSelect(mmode, kSelectFailed);
    return false;
  }
  mmode = MotorMode;
  state_->events().MotorSelect(MotorMode, kSelectDCmotor);
  return true;
}

bool Morvand::MotorOn() { return Motor(3); }

void Morvand::MotorOff() { Motor(0); }

void Morvand::MotorSlow() {
  if (EH_sys) {
    MotorVStart(state_->model_.RepRateSlow);
  } else {
    Motor(1);
  }
}

void Morvand::MotorMedium() {
  if (EH_sys) {
    MotorVStart(state_->model_.RepRateMedium);
  } else {
    Motor(2);
  }
}

void Morvand::MotorFast() {
  if (EH_sys) {
    MotorVStart(state_->model_.RepRateMax);
  } else {
    Motor(3);
  }
}

bool Morvand::MotorStart() {
  bool result = false;
  if (modelRules(LaserTypeFlag).motorKind == MotorKind::kAlwaysFast) {
    result = MotorOn();
  } else {
    if (!DCmotorOn(1)) return false;
    Waiting(2.0);  // the motor reaches level 1 before the rate decides
    const int16_t rate =
        (ExtRepRate != 0.0f && TrigMode != 0) ? util::toInt16(ExtRepRate) : util::toInt16(RepRate);
    if (static_cast<double>(state_->model_.RepRateMax) / 8.0 > rate) {
      mmode = 1;
      result = true;
    } else if (rate <= state_->model_.RepRateMedium) {
      result = DCmotorOn(2);
    } else if (rate > state_->model_.RepRateMax) {
      return false;
    } else {
      if (!DCmotorOn(2)) return false;
      Waiting(2.0);
      result = DCmotorOn(3);
    }
  }
  if (result) {
    state_->events().MotorSelect(mmode, kSelectStart);
    Waiting(4.0);
  }
  return result;
}

void Morvand::MotorSet(int32_t ReprateSet) {
  // The speed never jumps from stop to a higher level: it passes through each level below
  // with a wait. The level at the start of the call decides the steps.
  const int16_t level = mmode;
  const MotorKind kind = modelRules(LaserTypeFlag).motorKind;
  if (kind == MotorKind::kAlwaysFast) {
    if (level == 0) {
      DCmotorOn(1);
      Waiting(2.0);
      DCmotorOn(2);
      Waiting(1.0);
      DCmotorOn(3);
    }
  } else if (kind == MotorKind::kNoMiddleLevel) {
    if (level == 0) {
      DCmotorOn(1);
      Waiting(3.0);
    }
  } else if (static_cast<double>(state_->model_.RepRateMax) / 6.0 > ReprateSet) {
    if (level == 0) {
      DCmotorOn(1);
      Waiting(2.0);
    } else if (level > 1) {
      DCmotorOn(1);
    }
  } else if (ReprateSet > state_->model_.RepRateMedium) {
    if (level == 0) {
      DCmotorOn(1);
      Waiting(2.0);
      DCmotorOn(2);
      Waiting(1.0);
      DCmotorOn(3);
    } else if (level == 1) {
      DCmotorOn(2);
      Waiting(1.0);
      DCmotorOn(3);
    } else if (level == 2) {
      DCmotorOn(3);
    }
  } else {
    if (level == 0) {
      DCmotorOn(1);
      Waiting(2.0);
      DCmotorOn(2);
    } else if (level != 2) {
      DCmotorOn(2);
    }
  }
  state_->events().MotorSelect(mmode, kSelectSet);
}

}  // namespace morvand
