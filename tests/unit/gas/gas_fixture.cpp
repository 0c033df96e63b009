#include "gas_fixture.hpp"

#include <algorithm>
#include <cmath>

#include "support/probe.hpp"

namespace morvand::test {

namespace {

constexpr int16_t kValvePort = 1;
constexpr int16_t kGaugeChannel = 0;

}  // namespace

float Chamber::at(double now, int16_t valves) {
  const double dt = last_ < 0.0 ? 0.0 : now - last_;
  last_ = now;
  const auto rate = static_cast<float>(dt);
  switch (valves) {
    case 0x19:  // pump, main, vacuum
      torr = std::max(vacuum, torr - pumpRate * rate);
      break;
    case 0x0A:  // premix, main
      if (torr < premixSupply) torr = std::min(premixSupply, torr + premixRate * rate);
      break;
    case 0x0C:  // helium, main
      if (torr < heliumSupply) torr = std::min(heliumSupply, torr + heliumRate * rate);
      break;
    default:  // main closed: the chamber is sealed
      break;
  }
  return torr;
}

Morvand& GasTest::start(int16_t model, int16_t gas, bool popups) {
  dir.write(model, gas);
  Morvand& m = make();
  selectCard("PCI-1711");
  m.PopupMessage = popups;
  host.yieldStep = std::chrono::milliseconds(100);
  scale = m.limits().PressScale;
  pressure = [this] { return chamber.at(now(), valvePort()); };
  card->setAnalogSource(kGaugeChannel, [this] { return gaugeVolts(pressure(), scale); });
  card->onCall = [this](const DriverCall& call) {
    if (call.op == Op::DioWritePortByte && call.fields.at(0) == kValvePort) {
      const auto pattern = static_cast<int16_t>(call.fields.at(2));
      opened_[pattern] = now();
      writes_.emplace_back(pattern, now());
    }
  };
  return m;
}

double GasTest::now() { return std::chrono::duration<double>(clock.now()).count(); }

double GasTest::sinceOpened(int16_t pattern) {
  const auto it = opened_.find(pattern);
  return it == opened_.end() ? 1e9 : now() - it->second;
}

std::vector<int> GasTest::valvePatterns() const {
  std::vector<int> out;
  for (const auto& e : host.eventsNamed("ValveStatus")) {
    out.push_back(std::stoi(e.substr(std::string("ValveStatus(").size())));
  }
  return out;
}

size_t GasTest::gaugeReadings() const {
  size_t n = 0;
  for (const auto& c : card->calls()) {
    if (c.op == Op::AIVoltageIn && c.fields.at(0) == kGaugeChannel) ++n;
  }
  return n;
}

void GasTest::script(float initial, std::map<int16_t, std::function<float(double)>> laws) {
  held_ = initial;
  laws_ = std::move(laws);
  pressure = [this] {
    const auto it = laws_.find(valvePort());
    if (it != laws_.end()) held_ = it->second(sinceOpened(it->first));
    return held_;
  };
}

std::vector<std::string> GasTest::told() const {
  std::vector<std::string> out;
  if (m_->PopupMessage) {
    for (const auto& b : host.boxes)
      out.push_back(b.text + "|" + std::to_string(b.style) + "|" + b.title);
  } else {
    out = host.messages;
  }
  return out;
}

std::string GasTest::say(const std::string& text, int16_t style, const std::string& title) const {
  return m_->PopupMessage ? text + "|" + std::to_string(style) + "|" + title : text;
}

void GasTest::setRunActive(bool active) { test::runState(*m_).active = active; }
detail::GasState& GasTest::gasState() { return test::gasState(*m_); }
detail::MessageState& GasTest::messageState() { return test::messageState(*m_); }
detail::FillState& GasTest::fillState() { return test::fillState(*m_); }

}  // namespace morvand::test
