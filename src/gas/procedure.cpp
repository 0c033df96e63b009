// Steps shared by the gas procedures: the refusals, the questions, the fill cycles of the
// refills and the pressure poll of the optics service.

#include "gas/procedure.hpp"

#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

bool Morvand::gasProcedureRefused(bool needFillTarget) {
  if (state_->run_.active) {
    operatorMessage(gas::kLaserRunning.text, gas::kLaserRunning.style, gas::kLaserRunning.title);
    return true;
  }
  // Without a target (or with an inverted one) the fill cycles would pump the chamber empty
  // and then stop at once: refuse before any valve moves.
  const float low = state_->fill_.FillPressLow;
  const float high = state_->fill_.FillPressHigh;
  if (needFillTarget && (low <= 0.0f || high <= 0.0f || low > high)) {
    operatorMessage(gas::kNoFillTarget.text, gas::kNoFillTarget.style, gas::kNoFillTarget.title);
    return true;
  }
  return false;
}

bool Morvand::gasQuestionRefused(const std::string& text, int16_t style, const std::string& title,
                                 const std::string& eventText) {
  // Questions are asked only in boxes; without them the host is told and the procedure goes
  // on as if the answer were Yes.
  if (!PopupMessage) {
    events().LaserMessenger(eventText);
    return false;
  }
  state_->msg_.MsgText = text;
  state_->msg_.MsgStyle = style;
  state_->msg_.MsgTitle = title;
  const int16_t answer = askComposed();
  return answer == kAnswerNo || answer == kAnswerCancel;
}

bool Morvand::preFill(float target, const gas::Message& announce, const gas::Message& timeout) {
  const float& torr = state_->gas_.PressTorr;
  if (PopupMessage) operatorMessage(announce.text, announce.style, announce.title);
  const double start = myTimer();
  GasFill();
  while (torr < target) {
    PressMes();
    if (util::toSingle(myTimer() - start) > gas::kPreFillTimeout) {
      closeValvesSafely();
      operatorMessage(timeout.text, timeout.style, timeout.title);
      return false;
    }
    yieldToHost();
  }
  closeValvesSafely();
  return true;
}

void Morvand::refillCycles(float fillLimit, bool secondReadingInFirstCycle) {
  // All pressures in Torr: the limits below are Torr whatever unit the host shows.
  const float& torr = state_->gas_.PressTorr;
  const float cap = gas::fillCap(LaserTypeFlag);
  for (int cycle = 1; cycle <= gas::kMaxFillCycles; ++cycle) {
    state_->gas_.FillTime = cycle == 1 ? gas::kFirstFillTime : gas::kLaterFillTime;
    const double start = myTimer();
    GasFill();
    float elapsed = 0.0f;
    while (elapsed < state_->gas_.FillTime) {
      elapsed = util::toSingle(myTimer() - start);
      yieldToHost();
      PressMes();
      if (cycle == 1) {
        if (secondReadingInFirstCycle) PressMes();
        // A first cycle that has not lifted the pressure after a few seconds has no gas
        // coming in (empty cylinder, closed manual valve).
        if (elapsed > gas::kRiseCheckTime && torr < fillLimit) {
          closeValvesSafely();
          operatorMessage(gas::kFillNoRise.text, gas::kFillNoRise.style, gas::kFillNoRise.title);
          return;
        }
      }
      TempMes();
      // The target is tested first, so the limits act only on readings at or below it.
      if (torr > state_->fill_.FillPressLow) break;
      if (torr > state_->fill_.FillPressHigh || torr > cap) {
        closeValvesSafely();
        operatorMessage(gas::kOverPressure.text, gas::kOverPressure.style,
                        gas::kOverPressure.title);
        return;
      }
    }
    closeValvesSafely();
    if (cycle == gas::kMaxFillCycles) {
      // Five cycles were not enough (a weak cylinder, a leak): the operator must know the
      // laser is short of its fill pressure.
      if (torr < state_->fill_.FillPressLow) {
        operatorMessage(gas::fillShortText(torr, state_->fill_.FillPressLow), gas::kOkWarning,
                        gas::kFillShortTitle);
      }
      return;
    }
    // Let the gas settle before judging whether another top-up is needed.
    Waiting(gas::kSettlingTime);
    PressMes();
    if (torr >= state_->fill_.FillPressLow) return;
  }
}

float Morvand::pollPressure(float limit, PollStop stop, float threshold, bool withTemperature) {
  // Every step takes a fresh reading before the goal is judged, so a poll never ends on a
  // reading taken before its valves moved.
  const double start = myTimer();
  float elapsed = 0.0f;
  bool reached = false;
  do {
    elapsed = util::toSingle(myTimer() - start);
    yieldToHost();
    PressMes();
    if (withTemperature) TempMes();
    const float torr = state_->gas_.PressTorr;
    switch (stop) {
      case PollStop::AtOrBelow:
        reached = torr <= threshold;
        break;
      case PollStop::AtOrAbove:
        reached = torr >= threshold;
        break;
      case PollStop::Above:
        reached = torr > threshold;
        break;
    }
  } while (!reached && elapsed < limit);
  return elapsed;
}

}  // namespace morvand
