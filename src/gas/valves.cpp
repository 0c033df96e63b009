// The gas valves: five lines on digital output port 1, always written as a whole pattern so
// that opening one combination closes every valve that is not part of it.

#include <array>
#include <string>

#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

namespace {

/// The valve port and its lines, bit n = 2^n; bits 5 to 7 carry no valve.
constexpr int16_t kValvePort = wiring::kValvePort;
constexpr int16_t kAllLines = wiring::kAllLines;

struct ValveLine {
  int16_t bit;
  const char* text;  ///< with its trailing blank, as it appears in ValveString
};
constexpr std::array<ValveLine, 5> kValveLines{{
    {wiring::kValvePump, "Pump "},
    {wiring::kValvePremix, "Premix "},
    {wiring::kValveHelium, "Helium "},
    {wiring::kValveMain, "Main "},
    {wiring::kValveVacuum, "Vaccume "},
}};

/// Fixed patterns of the one-line valve operations.
constexpr int16_t kClosed = 0;
constexpr int16_t kPump = wiring::kValvePump;
constexpr int16_t kPremix = wiring::kValvePremix;
constexpr int16_t kHelium = wiring::kValveHelium;
constexpr int16_t kMain = wiring::kValveMain;
constexpr int16_t kVacuum = wiring::kValveVacuum;

std::string describeValves(int16_t pattern) {
  if (pattern == 0) return "All Valves Closed";
  std::string text;
  for (const auto& line : kValveLines) {
    if ((pattern & line.bit) != 0) text += line.text;
  }
  return text + "Opened";
}

}  // namespace

bool Morvand::OpenValves(int16_t mValveState) {
  if (!state_->writePort(kValvePort, kAllLines, mValveState)) return false;
  ValveState = mValveState;
  ValveString = describeValves(mValveState);
  state_->events().ValveStatus(ValveState, ValveString);
  return true;
}

void Morvand::CloseAllValves() { OpenValves(kClosed); }
void Morvand::State::closeValvesSafely() {
  switchOffSequence({[this] { m.CloseAllValves(); }});
}
void Morvand::OpenPump() { OpenValves(kPump); }
void Morvand::OpenPremix() { OpenValves(kPremix); }
void Morvand::OpenHelium() { OpenValves(kHelium); }
void Morvand::OpenMain() { OpenValves(kMain); }
void Morvand::OpenVacPump() { OpenValves(kVacuum); }
void Morvand::OpenFill() { OpenValves(kPremix | kMain); }
void Morvand::PremixFill() { OpenValves(kPremix | kMain); }
void Morvand::HeliumFill() { OpenValves(kHelium | kMain); }
void Morvand::HeliumLineFill() { OpenValves(kPremix | kHelium); }
void Morvand::PremixLinePump() { OpenValves(kPump | kPremix | kVacuum); }
void Morvand::Pumpout() { OpenValves(kPump | kMain | kVacuum); }
void Morvand::OpenAll() { OpenValves(kPump | kPremix | kHelium | kMain | kVacuum); }

}  // namespace morvand
