// Event counting on the card's three counters and the count rate derived from it.

#include <string>

#include "controller/state.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

constexpr int16_t kCounters = 3;
/// s without a count increase after which a counter reads as rate 0.
constexpr double kSilence = 3.0;
/// s the reference time moves on per call during a silence.
constexpr double kSilenceStep = 1.0;

/// The counter's position in the rate arrays; IndexError for anything but 0, 1 or 2.
std::size_t counterIndex(int16_t counter) {
  if (counter < 0 || counter >= kCounters) {
    throw IndexError("counter " + std::to_string(counter) + " does not exist (0 to 2)");
  }
  return static_cast<std::size_t>(counter);
}

/// Starts event counting on one counter; the rate state is not touched.
int32_t startCounting(CardContext& card, int16_t counter) {
  card.counterStart = {counter, 0};
  return card.driver().CounterEventStart(card.DeviceHandle, card.counterStart);
}

/// Reads one counter's count into count; returns the driver's status.
int32_t readCount(CardContext& card, int16_t counter, uint32_t& count) {
  int16_t overflow = 0;
  card.counterRead = {counter, &overflow, &count};
  const int32_t status = card.driver().CounterEventRead(card.DeviceHandle, card.counterRead);
  card.counterRead.overflow = nullptr;
  card.counterRead.count = nullptr;
  return status;
}

}  // namespace

void Morvand::CounterStart(int16_t CounterNum) { state_->startCounter(CounterNum); }

bool Morvand::State::startCounter(int16_t CounterNum) {
  if (!cardSelected()) return false;
  const std::size_t n = counterIndex(CounterNum);
  CardContext& card = CardContext::current();
  if (!driverOk(startCounting(card, CounterNum))) return false;
  counters_.CountTime[n] = m.myTimer();
  counters_.CountPrevTime[n] = counters_.CountTime[n];
  counters_.CountNow[n] = 0;
  counters_.CountPrev[n] = 0;
  counters_.CountActive[n] = true;
  return true;
}

bool Morvand::CounterRead(int16_t CounterNum) {
  if (!state_->cardSelected()) return false;
  const std::size_t n = counterIndex(CounterNum);
  CardContext& card = CardContext::current();
  uint32_t raw = 0;
  if (!state_->driverOk(readCount(card, CounterNum, raw))) return false;
  // The driver counts unsigned; the rate works on the count as a signed 32-bit value.
  const auto count = static_cast<int32_t>(raw);

  if (count > state_->counters_.CountNow[n]) {
    state_->counters_.CountTime[n] = myTimer();
    state_->counters_.CountNow[n] = count;
    const double elapsed = state_->counters_.CountTime[n] - state_->counters_.CountPrevTime[n];
    if (elapsed > CountPeriod) {
      const int32_t events =
          util::checkedInt32(static_cast<int64_t>(count) - state_->counters_.CountPrev[n]);
      state_->counters_.CountFreq[n] = util::divide(events, elapsed);
      state_->counters_.CountPrevTime[n] = state_->counters_.CountTime[n];
      state_->counters_.CountPrev[n] = count;
      return true;
    }
    return false;
  }
  // No new event: after a silence the rate is 0, and the reference time catches up with
  // now one second per call.
  if (myTimer() - state_->counters_.CountPrevTime[n] > kSilence) {
    state_->counters_.CountFreq[n] = 0.0;
    state_->counters_.CountPrevTime[n] += kSilenceStep;
    return true;
  }
  return false;
}

bool Morvand::CounterFreqRead(int16_t CounterNum) {
  if (!state_->cardSelected()) return false;
  const std::size_t n = counterIndex(CounterNum);
  if (state_->counters_.CountTime[n] <= state_->counters_.CountPrevTime[n]) return false;
  const int32_t events = util::checkedInt32(static_cast<int64_t>(state_->counters_.CountNow[n]) -
                                            state_->counters_.CountPrev[n]);
  state_->counters_.CountFreq[n] =
      util::divide(events, state_->counters_.CountTime[n] - state_->counters_.CountPrevTime[n]);
  state_->counters_.CountPrevTime[n] = state_->counters_.CountTime[n];
  state_->counters_.CountPrev[n] = state_->counters_.CountNow[n];
  return true;
}

void Morvand::CounterStop(int16_t CounterNum) {
  if (!state_->cardSelected()) return;
  const std::size_t n = counterIndex(CounterNum);
  CardContext& card = CardContext::current();
  if (!state_->driverOkWithCode(card.driver().CounterReset(card.DeviceHandle, CounterNum))) return;
  state_->counters_.CountActive[n] = false;
}

void Morvand::Counter0Start() {
  if (state_->cardSelected()) state_->driverOk(startCounting(CardContext::current(), 0));
}
void Morvand::Counter1Start() {
  if (state_->cardSelected()) state_->driverOk(startCounting(CardContext::current(), 1));
}
void Morvand::Counter2Start() {
  if (state_->cardSelected()) state_->driverOk(startCounting(CardContext::current(), 2));
}

void Morvand::Counter0Read() {
  if (!state_->cardSelected()) return;
  uint32_t count = 0;
  state_->driverOk(readCount(CardContext::current(), 0, count));
}

void Morvand::Counter1Read() {
  if (!state_->cardSelected()) return;
  uint32_t count = 0;
  // Kept for the trigger-rate measurements.
  if (state_->driverOk(readCount(CardContext::current(), 1, count))) {
    state_->counters_.Counter1Count = static_cast<int32_t>(count);
  }
}

void Morvand::Counter2Read() {
  if (!state_->cardSelected()) return;
  uint32_t count = 0;
  state_->driverOk(readCount(CardContext::current(), 2, count));
}

}  // namespace morvand
