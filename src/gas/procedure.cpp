// Steps shared by the gas procedures: the refusals, the questions, the fill cycles of the
// refills and the pressure poll of the optics service.

#include "gas/procedure.hpp"

#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

bool Morvand::State::gasProcedureRefused(bool needFillTarget) {
  if (run_.active) {
    operatorMessage(gas::kLaserRunning.text, gas::kLaserRunning.style, gas::kLaserRunning.title);
    return true;
  }
  // Without a target (or with an inverted one) the fill cycles would pump the chamber empty
  // and then stop at once: refuse before any valve moves.
  const float low = fill_.FillPressLow;
  const float high = fill_.FillPressHigh;
  if (needFillTarget && (low <= 0.0f || high <= 0.0f || low > high)) {
    operatorMessage(gas::kNoFillTarget.text, gas::kNoFillTarget.style, gas::kNoFillTarget.title);
    return true;
  }
  return false;
}

bool Morvand::State::gasQuestionRefused(const std::string& text, int16_t style,
                                        const std::string& title, const std::string& eventText) {
  // Questions are asked only in boxes; without them the host is told and the procedure goes
  // on as if the answer were Yes.
  if (!m.PopupMessage) {
    events().LaserMessenger(eventText);
    return false;
  }
  msg_.MsgText = text;
  msg_.MsgStyle = style;
  msg_.MsgTitle = title;
  const int16_t answer = askComposed();
  return answer == kAnswerNo || answer == kAnswerCancel;
}

bool Morvand::State::preFill(float target, const gas::Message& announce,
                             const gas::Message& timeout) {
  const float& torr = gas_.PressTorr;
  if (m.PopupMessage) operatorMessage(announce.text, announce.style, announce.title);
  const double start = m.myTimer();
  m.GasFill();
  while (torr < target) {
    m.PressMes();
    if (util::toSingle(m.myTimer() - start) > gas::kPreFillTimeout) {
      closeValvesSafely();
      operatorMessage(timeout.text, timeout.style, timeout.title);
      return false;
    }
    yieldToHost();
  }
  closeValvesSafely();
  return true;
}

void Morvand::State::refillCycles(float fillLimit, bool secondReadingInFirstCycle) {
  // All pressures in Torr: the limits below are Torr whatever unit the host shows.
  const float& torr = gas_.PressTorr;
  const float cap = gas::fillCap(m.LaserTypeFlag);
  for (int cycle = 1; cycle <= gas::kMaxFillCycles; ++cycle) {
    gas_.FillTime = cycle == 1 ? gas::kFirstFillTime : gas::kLaterFillTime;
    const double start = m.myTimer();
    m.GasFill();
    float elapsed = 0.0f;
    while (elapsed < gas_.FillTime) {
      elapsed = util::toSingle(m.myTimer() - start);
      yieldToHost();
      m.PressMes();
      if (cycle == 1) {
        if (secondReadingInFirstCycle) m.PressMes();
        // A first cycle that has not lifted the pressure after a few seconds has no gas
        // coming in (empty cylinder, closed manual valve).
        if (elapsed > gas::kRiseCheckTime && torr < fillLimit) {
          closeValvesSafely();
          operatorMessage(gas::kFillNoRise.text, gas::kFillNoRise.style, gas::kFillNoRise.title);
          return;
        }
      }
      m.TempMes();
      // The target is tested first, so the limits act only on readings at or below it.
      if (torr > fill_.FillPressLow) break;
      if (torr > fill_.FillPressHigh || torr > cap) {
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
      if (torr < fill_.FillPressLow) {
        operatorMessage(gas::fillShortText(torr, fill_.FillPressLow), gas::kOkWarning,
                        gas::kFillShortTitle);
      }
      return;
    }
    // Let the gas settle before judging whether another top-up is needed.
    m.Waiting(gas::kSettlingTime);
    m.PressMes();
    if (torr >= fill_.FillPressLow) return;
  }
}

float Morvand::State::pollPressure(float limit, PollStop stop, float threshold,
                                   bool withTemperature) {
  // Every step takes a fresh reading before the goal is judged, so a poll never ends on a
  // reading taken before its valves moved.
  const double start = m.myTimer();
  float elapsed = 0.0f;
  bool reached = false;
  do {
    elapsed = util::toSingle(m.myTimer() - start);
    yieldToHost();
    m.PressMes();
    if (withTemperature) m.TempMes();
    const float torr = gas_.PressTorr;
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
