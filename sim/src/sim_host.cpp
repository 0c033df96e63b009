#include "morvand/sim/sim_host.hpp"

#include <algorithm>

#include "morvand/reflection.hpp"

namespace morvand::sim {

namespace {
std::string num(double v) {
  const auto f = static_cast<float>(v);
  return static_cast<double>(f) == v
             ? reflection::toText(reflection::Value{std::in_place_type<float>, f})
             : reflection::toText(reflection::Value{v});
}
}  // namespace

SimHost::SimHost(Clock* clock, std::chrono::nanoseconds step) : yieldStep(step), clock_(clock) {}

bool SimHost::saw(const std::string& text) const {
  return std::find(messages.begin(), messages.end(), text) != messages.end() ||
         std::any_of(boxes.begin(), boxes.end(), [&](const auto& b) { return b.text == text; });
}

std::vector<std::string> SimHost::eventsNamed(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& e : events) {
    if (e.rfind(name + "(", 0) == 0) out.push_back(e);
  }
  return out;
}

void SimHost::clearRecords() {
  boxes.clear();
  prompts.clear();
  events.clear();
  messages.clear();
}

void SimHost::record(std::string text) {
  events.push_back(std::move(text));
  if (onEvent) onEvent(events.back());
}

int16_t SimHost::messageBox(const std::string& text, int16_t style, const std::string& title) {
  boxes.push_back({text, style, title});
  if (onBox) onBox(boxes.back());
  if (!answers.empty()) {
    const int16_t a = answers.front();
    answers.pop_front();
    return a;
  }
  if (defaultAnswer) return *defaultAnswer;
  const int buttons = style & kStyleButtons;
  return buttons == kStyleYesNoCancel || buttons == kStyleYesNo ? kAnswerYes : kAnswerOk;
}

std::string SimHost::inputBox(const std::string& prompt, const std::string& title,
                              const std::string& defaultText) {
  prompts.push_back({prompt, title, defaultText});
  if (inputs.empty()) return {};
  std::string s = std::move(inputs.front());
  inputs.pop_front();
  return s;
}

void SimHost::yield() {
  ++yields;
  // A virtual clock is moved on; a live clock is waited on, so the loop does not spin.
  if (auto* virt = dynamic_cast<VirtualClock*>(clock_)) {
    virt->advance(yieldStep);
  } else if (clock_ != nullptr) {
    clock_->sleepFor(yieldStep);
  }
  if (onYield) onYield();
}

void SimHost::Warmingup(float WarmingTime, bool& Cancel) {
  record("Warmingup(" + num(WarmingTime) + ")");
  if (onWarmingup) onWarmingup(WarmingTime, Cancel);
  if (forward_) forward_->Warmingup(WarmingTime, Cancel);
}

void SimHost::LaserRunning(int32_t mPulseNum, float mEnergy) {
  record("LaserRunning(" + std::to_string(mPulseNum) + ", " + num(mEnergy) + ")");
  if (onLaserRunning) onLaserRunning(mPulseNum, mEnergy);
  if (forward_) forward_->LaserRunning(mPulseNum, mEnergy);
}

void SimHost::Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                           float mVoltTest) {
  record("Measurements(" + num(mtemp) + ", " + num(mPressure) + ", " + num(mHVoltage) + ", " +
         num(mFilaVolt) + ", " + num(mVoltTest) + ")");
  if (forward_) forward_->Measurements(mtemp, mPressure, mHVoltage, mFilaVolt, mVoltTest);
}

void SimHost::ValveStatus(int16_t mValveState, const std::string& mValveString) {
  record("ValveStatus(" + std::to_string(mValveState) + ", " + mValveString + ")");
  if (forward_) forward_->ValveStatus(mValveState, mValveString);
}

void SimHost::ExtRepRateRead(float mExtRepRate, const std::string& Msg) {
  record("ExtRepRateRead(" + num(mExtRepRate) + ", " + Msg + ")");
  if (forward_) forward_->ExtRepRateRead(mExtRepRate, Msg);
}

void SimHost::LaserMessenger(const std::string& mLaserMessage) {
  messages.push_back(mLaserMessage);
  record("LaserMessenger(" + mLaserMessage + ")");
  if (forward_) forward_->LaserMessenger(mLaserMessage);
}

void SimHost::PCIcardSelect(int16_t& mlstDeviceIndex) {
  record("PCIcardSelect(" + std::to_string(mlstDeviceIndex) + ")");
  if (forward_) forward_->PCIcardSelect(mlstDeviceIndex);
}

void SimHost::ExtStartState(bool mExtStartFlag) {
  record(std::string("ExtStartState(") + (mExtStartFlag ? "True" : "False") + ")");
  if (forward_) forward_->ExtStartState(mExtStartFlag);
}

void SimHost::MotorSelect(int16_t mMotorMode, int16_t mID) {
  record("MotorSelect(" + std::to_string(mMotorMode) + ", " + std::to_string(mID) + ")");
  if (forward_) forward_->MotorSelect(mMotorMode, mID);
}

void SimHost::MotorRpmRead(double mMotorRPM, float mMotorV, float mMotorV24) {
  record("MotorRpmRead(" + num(mMotorRPM) + ", " + num(mMotorV) + ", " + num(mMotorV24) + ")");
  if (forward_) forward_->MotorRpmRead(mMotorRPM, mMotorV, mMotorV24);
}

}  // namespace morvand::sim
