#pragma once
// A host for tests: answers boxes and prompts from queues, records them and every event,
// and moves a virtual clock on at every yield so that polling loops progress.

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "morvand/clock.hpp"
#include "morvand/host.hpp"

namespace morvand::test {

struct Box {
  std::string text;
  int16_t style;
  std::string title;
};

struct Prompt {
  std::string prompt;
  std::string title;
  std::string defaultText;
};

class RecordingHost : public HostServices, public Events {
 public:
  explicit RecordingHost(VirtualClock* clock = nullptr) : clock_(clock) {}

  // --- scripted answers ---
  /// Answers of the next message boxes, in order (1 OK, 2 Cancel, 6 Yes, 7 No).
  std::deque<int16_t> answers;
  /// Answer when the queue is empty.
  int16_t defaultAnswer = 1;
  /// Texts of the next prompts, in order ("" = cancelled).
  std::deque<std::string> inputs;
  /// Virtual time each yield moves on.
  std::chrono::nanoseconds yieldStep = std::chrono::milliseconds(1);
  /// Called on every yield, after the clock moved (re-entrant calls go here).
  std::function<void()> onYield;
  /// Called on every LaserRunning event.
  std::function<void(int32_t, float)> onLaserRunning;
  /// Called on every Warmingup event; may set Cancel.
  std::function<void(float, bool&)> onWarmingup;
  /// Called on every message box, before the answer is taken.
  std::function<void(const Box&)> onBox;

  // --- what happened ---
  std::vector<Box> boxes;
  std::vector<Prompt> prompts;
  /// Every event as "Name(arg, arg)", in order.
  std::vector<std::string> events;
  /// The texts of the LaserMessenger events, in order.
  std::vector<std::string> messages;
  int64_t yields = 0;
  int64_t beeps = 0;
  /// Events whose text starts with prefix.
  std::vector<std::string> eventsNamed(const std::string& name) const;

  // --- HostServices ---
  int16_t messageBox(const std::string& text, int16_t style, const std::string& title) override;
  std::string inputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override;
  void yield() override;
  void beep() override { ++beeps; }

  // --- Events ---
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
  VirtualClock* clock_;
};

}  // namespace morvand::test
