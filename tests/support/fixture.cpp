#include "support/fixture.hpp"

#include <fstream>
#include <random>
#include <sstream>

namespace morvand::test {

SettingsDir::SettingsDir() : previous_(std::filesystem::current_path()) {
  std::random_device rd;
  dir_ = std::filesystem::temp_directory_path() /
         ("morvand-test-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(dir_);
  std::filesystem::current_path(dir_);
  write();
}

SettingsDir::~SettingsDir() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  std::filesystem::remove_all(dir_, ec);
}

void SettingsDir::writeFile(const std::string& name, const std::string& content) {
  std::ofstream(dir_ / name, std::ios::binary | std::ios::trunc) << content;
}

void SettingsDir::write(int16_t model, int16_t gas, int32_t cumTotal, int32_t thisFill,
                        float tempSet) {
  std::ostringstream t;
  t << tempSet << ",0,0,0\r\n";
  writeFile("Paramdata", t.str());
  writeFile("Typedata", std::to_string(model) + "," + std::to_string(gas) + "\r\n");
  writeFile("Counter", std::to_string(cumTotal) + "," + std::to_string(thisFill) + "\r\n");
  writeFile("Industrial", "0\r\n");
}

std::string SettingsDir::read(const std::string& name) const {
  std::ifstream in(dir_ / name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string firstOf(const Strings& v) { return v.empty() ? std::string() : v.front(); }
std::string lastOf(const Strings& v) { return v.empty() ? std::string() : v.back(); }

void ControllerTest::freshCard() {
  m_.reset();
  CardContext::current().reset();
  card = std::make_shared<ScriptedCard>();
  CardContext::current().setDriver(card);
}

ControllerTest::ControllerTest() {
  CardContext::current().reset();
  CardContext::current().setDriver(card);
}

ControllerTest::~ControllerTest() {
  // The hooks may call into the derived test, which is already gone: the destruction
  // sequence that runs below must not reach them.
  host.onYield = nullptr;
  host.onLaserRunning = nullptr;
  host.onWarmingup = nullptr;
  host.onBox = nullptr;
  card->clearHooks();
  m_.reset();
  CardContext::current().reset();
}

Morvand& ControllerTest::make() {
  m_ = std::make_unique<Morvand>(host, &host, &clock);
  return *m_;
}

void ControllerTest::selectCard(const std::string& name) {
  card->addDevice(name);
  if (!m_) make();
  m_->StandardCard();
  card->clearCalls();
  host.events.clear();
  host.messages.clear();
  host.boxes.clear();
}

}  // namespace morvand::test
