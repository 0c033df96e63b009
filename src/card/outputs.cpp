// The safe-state operations of the digital outputs. Port 0 carries the control lines
// (line 7 is the high-voltage enable), port 1 the valves.

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

namespace {
constexpr int16_t kControlPort = wiring::kControlPort;
constexpr int16_t kValvePort = wiring::kValvePort;
constexpr int16_t kLine7 = wiring::kLine7;
constexpr int16_t kAllLines = wiring::kAllLines;
}  // namespace

void Morvand::Enable(bool EnableOn) { state_->setEnableLine(EnableOn); }

bool Morvand::State::setEnableLine(bool on) {
  return writePort(kControlPort, kLine7, on ? kLine7 : 0);
}

bool Morvand::State::enableLineOn() const {
  return (CardContext::current().outputLines[kControlPort] & kLine7) != 0;
}

void Morvand::Reset() {
  // The valve port is left alone when the enable line could not be switched off, except in
  // a switch-off sequence, where every line that can still be switched off is.
  if (state_->writePort(kControlPort, kLine7, 0) || state_->switchingOff())
    state_->writePort(kValvePort, kLine7, 0);
}

void Morvand::AllClose() { state_->writePort(kValvePort, kAllLines, 0); }

void Morvand::AllOff() { state_->writePort(kControlPort, kAllLines, 0); }

}  // namespace morvand
