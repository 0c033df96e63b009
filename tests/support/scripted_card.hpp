#pragma once
// A card driver for tests: it records every call with its request fields and answers with
// programmed statuses and readings.

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "morvand/card_driver.hpp"
#include "morvand/recording_driver.hpp"

namespace morvand::test {

using morvand::DriverCall;
/// The driver operations, for failCall, setStatus and texts:
/// ScriptedCard::failCall(Op::AIVoltageIn, ...).
using Op = morvand::DriverOp;

/// What the scripted card answers: readings, devices, the feature record. Its device part
/// is the driver the recording wrapper of ScriptedCard reaches.
class ScriptedAnswers {
 public:
  ScriptedAnswers();

  /// Error text for a status (default "driver error <status>").
  void setErrorText(int32_t status, const std::string& text);
  /// Constant reading of an analog input, V.
  void setAnalog(int16_t channel, float volts);
  /// Readings taken before the constant one, in order.
  void queueAnalog(int16_t channel, std::vector<float> volts);
  /// Computes a reading from the time of the call (overrides constant and queue).
  void setAnalogSource(int16_t channel, std::function<float()> source);
  /// Byte of an input port.
  void setPortIn(int16_t port, int16_t value);
  void queuePortIn(int16_t port, std::vector<int16_t> values);
  /// Count of a counter.
  void setCount(int16_t counter, uint32_t count);
  void queueCount(int16_t counter, std::vector<uint32_t> counts);
  /// Adds a device to the device list.
  void addDevice(const std::string& name, int32_t deviceNum = -1);
  /// The feature record DeviceGetFeatures returns (defaults: 16 single-ended and 8
  /// differential inputs, 2 outputs, 16 DO and 16 DI lines, no programmable ports,
  /// 3 counters, 2 gains with codes 0 and 1).
  DeviceFeatures features{};
  AIConfigRecord aiConfig{};
  /// Handle DeviceOpen returns.
  int32_t handle = 42;
  /// Last value written to each output port (only the masked lines).
  std::map<int16_t, int16_t> portOut;
  /// Last volts written to each analog output.
  std::map<int16_t, float> analogOut;

  /// The driver side: answers from the fields above, records nothing.
  class Device : public CardDriver {
   public:
    explicit Device(ScriptedAnswers& answers) : a_(answers) {}
    MORVAND_DRIVER_OVERRIDES
   private:
    ScriptedAnswers& a_;
  };

 protected:
  Device device_{*this};

 private:
  std::map<int32_t, std::string> errorText_;
  std::map<int16_t, float> analog_;
  std::map<int16_t, std::deque<float>> analogQueue_;
  std::map<int16_t, std::function<float()>> analogSource_;
  std::map<int16_t, int16_t> portIn_;
  std::map<int16_t, std::deque<int16_t>> portInQueue_;
  std::map<int16_t, uint32_t> count_;
  std::map<int16_t, std::deque<uint32_t>> countQueue_;
  std::vector<DeviceListEntry> devices_;
  friend class ScriptedCard;
};

/// A card driver for tests: the scripted answers behind the one recording and
/// fault-injection wrapper, which records every call with its request fields.
class ScriptedCard : public ScriptedAnswers, public RecordingDriver {
 public:
  ScriptedCard() : RecordingDriver(device_) {}
  /// Drops onCall and every analog source (they may refer to a test that is gone).
  void clearHooks() {
    onCall = nullptr;
    analogSource_.clear();
  }
};

}  // namespace morvand::test
