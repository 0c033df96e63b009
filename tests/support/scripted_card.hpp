#pragma once
// A card driver for tests: it records every call with its request fields and answers with
// programmed statuses and readings.

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "morvand/card_driver.hpp"

namespace morvand::test {

/// One recorded driver call: the operation and its request fields in record order.
struct DriverCall {
  std::string op;
  std::vector<double> fields;
  /// "Op(f1, f2, ...)", numbers in their shortest form, e.g. "DioWritePortByte(0, 128, 128)".
  std::string text() const;
};

class ScriptedCard : public CardDriver {
 public:
  ScriptedCard();

  // --- what the card answers ---
  /// Every later call of op returns status (GetErrorMessage then writes no text).
  void setStatus(const std::string& op, int32_t status);
  /// The nth next call of op (1 = the next one) returns status; the others keep theirs.
  void failCall(const std::string& op, int32_t status, int nth = 1);
  /// The next `times` calls whose text (DriverCall::text) is exactly text return status.
  void failText(const std::string& text, int32_t status, int times = 1);
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
  /// Called after every call is recorded (tests use it to react to writes).
  std::function<void(const DriverCall&)> onCall;
  /// Drops onCall and every analog source (they may refer to a test that is gone).
  void clearHooks() {
    onCall = nullptr;
    analogSource_.clear();
  }

  // --- what the controller did ---
  const std::vector<DriverCall>& calls() const { return calls_; }
  /// The calls as texts, optionally only those of one operation.
  std::vector<std::string> texts(const std::string& op = "") const;
  void clearCalls() { calls_.clear(); }
  /// Last value written to each output port (only the masked lines).
  std::map<int16_t, int16_t> portOut;
  /// Last volts written to each analog output.
  std::map<int16_t, float> analogOut;

  // --- CardDriver ---
  int32_t DeviceGetList(DeviceListEntry* list, int16_t maxEntries, int16_t* entriesOut) override;
  int32_t DeviceGetNumOfList(int16_t* count) override;
  int32_t DeviceOpen(int32_t deviceNum, int32_t* handleOut) override;
  int32_t DeviceClose(int32_t* handleInOut) override;
  int32_t DeviceGetFeatures(int32_t h, DeviceFeatures* out) override;
  int32_t AIGetConfig(int32_t h, AIConfigRecord* out) override;
  int32_t GetErrorMessage(int32_t status, char text[80]) override;
  int32_t DioSetPortMode(int32_t h, const PortModeRequest& r) override;
  int32_t DioWritePortByte(int32_t h, const PortWriteRequest& r) override;
  int32_t DioReadPortByte(int32_t h, const PortReadRequest& r) override;
  int32_t AIConfig(int32_t h, const AIConfigRequest& r) override;
  int32_t AIVoltageIn(int32_t h, const AIVoltageInRequest& r) override;
  int32_t AOConfig(int32_t h, const AOConfigRequest& r) override;
  int32_t AOVoltageOut(int32_t h, const AOVoltageOutRequest& r) override;
  int32_t CounterEventStart(int32_t h, const CounterEventStartRequest& r) override;
  int32_t CounterEventRead(int32_t h, const CounterEventReadRequest& r) override;
  int32_t CounterReset(int32_t h, int16_t counter) override;
  int32_t CounterPulseStart(int32_t h, const CounterPulseStartRequest& r) override;
  int32_t CounterFreqStart(int32_t h, const CounterFreqStartRequest& r) override;

 private:
  int32_t record(const std::string& op, std::vector<double> fields);
  std::map<std::string, int32_t> status_;
  std::map<std::string, std::map<int, int32_t>> failures_;       // op -> (countdown -> status)
  std::map<std::string, std::pair<int32_t, int>> textFailures_;  // text -> (status, times)
  std::map<int32_t, std::string> errorText_;
  std::map<int16_t, float> analog_;
  std::map<int16_t, std::deque<float>> analogQueue_;
  std::map<int16_t, std::function<float()>> analogSource_;
  std::map<int16_t, int16_t> portIn_;
  std::map<int16_t, std::deque<int16_t>> portInQueue_;
  std::map<int16_t, uint32_t> count_;
  std::map<int16_t, std::deque<uint32_t>> countQueue_;
  std::vector<DeviceListEntry> devices_;
  std::vector<DriverCall> calls_;
};

}  // namespace morvand::test
