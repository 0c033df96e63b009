#include "support/recording_host.hpp"

#include "util/numeric.hpp"

namespace morvand::test {

namespace {
std::string num(double v) {
  const auto f = static_cast<float>(v);
  return static_cast<double>(f) == v ? util::formatSingle(f) : util::formatDouble(v);
}
}  // namespace

std::vector<std::string> RecordingHost::eventsNamed(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& e : events) {
    if (e.rfind(name + "(", 0) == 0) out.push_back(e);
  }
  return out;
}

int16_t RecordingHost::messageBox(const std::string& text, int16_t style,
                                  const std::string& title) {
  boxes.push_back({text, style, title});
  if (onBox) onBox(boxes.back());
  if (answers.empty()) return defaultAnswer;
  const int16_t a = answers.front();
  answers.pop_front();
  return a;
}

std::string RecordingHost::inputBox(const std::string& prompt, const std::string& title,
                                    const std::string& defaultText) {
  prompts.push_back({prompt, title, defaultText});
  if (inputs.empty()) return {};
  std::string s = inputs.front();
  inputs.pop_front();
  return s;
}

void RecordingHost::yield() {
  ++yields;
  if (clock_) clock_->advance(yieldStep);
  if (onYield) onYield();
}

void RecordingHost::Warmingup(float WarmingTime, bool& Cancel) {
  events.push_back("Warmingup(" + num(WarmingTime) + ")");
  if (onWarmingup) onWarmingup(WarmingTime, Cancel);
}
void RecordingHost::LaserRunning(int32_t mPulseNum, float mEnergy) {
  events.push_back("LaserRunning(" + std::to_string(mPulseNum) + ", " + num(mEnergy) + ")");
  if (onLaserRunning) onLaserRunning(mPulseNum, mEnergy);
}
void RecordingHost::Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                                 float mVoltTest) {
  events.push_back("Measurements(" + num(mtemp) + ", " + num(mPressure) + ", " + num(mHVoltage) +
                   ", " + num(mFilaVolt) + ", " + num(mVoltTest) + ")");
}
void RecordingHost::ValveStatus(int16_t mValveState, const std::string& mValveString) {
  events.push_back("ValveStatus(" + std::to_string(mValveState) + ", " + mValveString + ")");
}
void RecordingHost::ExtRepRateRead(float mExtRepRate, const std::string& Msg) {
  events.push_back("ExtRepRateRead(" + num(mExtRepRate) + ", " + Msg + ")");
}
void RecordingHost::LaserMessenger(const std::string& mLaserMessage) {
  events.push_back("LaserMessenger(" + mLaserMessage + ")");
  messages.push_back(mLaserMessage);
}
void RecordingHost::PCIcardSelect(int16_t& mlstDeviceIndex) {
  events.push_back("PCIcardSelect(" + std::to_string(mlstDeviceIndex) + ")");
}
void RecordingHost::ExtStartState(bool mExtStartFlag) {
  events.push_back(std::string("ExtStartState(") + (mExtStartFlag ? "True" : "False") + ")");
}
void RecordingHost::MotorSelect(int16_t mMotorMode, int16_t mID) {
  events.push_back("MotorSelect(" + std::to_string(mMotorMode) + ", " + std::to_string(mID) + ")");
}
void RecordingHost::MotorRpmRead(double mMotorRPM, float mMotorV, float mMotorV24) {
  events.push_back("MotorRpmRead(" + num(mMotorRPM) + ", " + num(mMotorV) + ", " + num(mMotorV24) +
                   ")");
}

}  // namespace morvand::test
