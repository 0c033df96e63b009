#pragma once
/// The scripted host of the simulated laser and of every test: it answers message boxes and
/// prompts from queues, records boxes, prompts and every event as text, and moves the clock
/// on at every yield so that the controller's polling loops progress in virtual time.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "morvand/clock.hpp"
#include "morvand/host.hpp"

namespace morvand::sim {

struct RecordedBox {
  std::string text;
  int16_t style;
  std::string title;
};

struct RecordedPrompt {
  std::string prompt;
  std::string title;
  std::string defaultText;
};

class SimHost : public HostServices, public Events {
 public:
  /// step: time each yield lets pass (the host's message loop turning once). Without a
  /// clock a yield lets no time pass.
  explicit SimHost(Clock* clock, std::chrono::nanoseconds step = std::chrono::milliseconds(2));
  explicit SimHost(Clock& clock, std::chrono::nanoseconds step = std::chrono::milliseconds(2))
      : SimHost(&clock, step) {}

  void setClock(Clock& clock) { clock_ = &clock; }
  /// Time each yield lets pass.
  std::chrono::nanoseconds yieldStep;
  /// Events are also passed on to this sink (nullptr: none).
  void forwardTo(Events* sink) { forward_ = sink; }

  // ---- scripted answers ----
  /// Answers of the next boxes (1 OK, 2 Cancel, 6 Yes, 7 No). With the queue empty a box
  /// is answered defaultAnswer or, without one, OK when it has only an OK button and Yes
  /// when it asks a question.
  std::deque<int16_t> answers;
  std::optional<int16_t> defaultAnswer;
  /// Texts of the next prompts; with the queue empty a prompt is cancelled ("").
  std::deque<std::string> inputs;
  std::function<void()> onYield;
  std::function<void(const RecordedBox&)> onBox;
  /// Called with every event text as it is recorded.
  std::function<void(const std::string&)> onEvent;
  std::function<void(int32_t, float)> onLaserRunning;
  std::function<void(float, bool&)> onWarmingup;

  // ---- what happened ----
  std::vector<RecordedBox> boxes;
  std::vector<RecordedPrompt> prompts;
  /// Every event as "Name(arg, arg)", in order.
  std::vector<std::string> events;
  /// Texts of the LaserMessenger events.
  std::vector<std::string> messages;
  int64_t yields = 0;
  int64_t beeps = 0;
  /// True when an event or a box carried exactly this text.
  bool saw(const std::string& text) const;
  /// Events of one kind ("LaserRunning").
  std::vector<std::string> eventsNamed(const std::string& name) const;
  void clearRecords();

  // ---- HostServices ----
  int16_t messageBox(const std::string& text, int16_t style, const std::string& title) override;
  std::string inputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override;
  void yield() override;
  void beep() override { ++beeps; }

  // ---- Events ----
  void Warmingup(float WarmingTime, bool& Cancel) override;
  void LaserRunning(int32_t mPulseNum, float mEnergy) override;
  void Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                    float mVoltTest) override;
  void ValveStatus(int16_t mValveState, const std::string& mValveString) override;
  void ExtRepRateRead(float mExtRepRate, const std::string& Msg) override;
  void LaserMessenger(const std::string& mLaserMessage) override;
  void PCIcardSelect(int16_t& mlstDeviceIndex) override;
  void ExtStartState(bool mExtStartFlag) override;
  void MotorSelect(int16_t mMotorMode, int16_t mID) override;
  void MotorRpmRead(double mMotorRPM, float mMotorV, float mMotorV24) override;

 private:
  void record(std::string text);
  Clock* clock_;
  Events* forward_ = nullptr;
};

}  // namespace morvand::sim
