#include "support/scripted_card.hpp"

#include <algorithm>
#include <cstring>

namespace morvand::test {

ScriptedAnswers::ScriptedAnswers() {
  features.numDifferentialAI = 8;
  features.numSingleEndedAI = 16;
  features.numAO = 2;
  features.numDOLines = 16;
  features.numDILines = 16;
  features.numProgrammablePorts = 0;
  features.numCounters = 3;
  features.numGains = 2;
  features.gains[0].gainCode = 0;
  std::strncpy(features.gains[0].name, "+/- 10 V", sizeof features.gains[0].name);
  features.gains[1].gainCode = 1;
  std::strncpy(features.gains[1].name, "+/- 5 V", sizeof features.gains[1].name);
}

void ScriptedAnswers::setErrorText(int32_t status, const std::string& text) {
  errorText_[status] = text;
}
void ScriptedAnswers::setAnalog(int16_t channel, float volts) { analog_[channel] = volts; }
void ScriptedAnswers::queueAnalog(int16_t channel, std::vector<float> volts) {
  for (float v : volts) analogQueue_[channel].push_back(v);
}
void ScriptedAnswers::setAnalogSource(int16_t channel, std::function<float()> source) {
  analogSource_[channel] = std::move(source);
}
void ScriptedAnswers::setPortIn(int16_t port, int16_t value) { portIn_[port] = value; }
void ScriptedAnswers::queuePortIn(int16_t port, std::vector<int16_t> values) {
  for (auto v : values) portInQueue_[port].push_back(v);
}
void ScriptedAnswers::setCount(int16_t counter, uint32_t count) { count_[counter] = count; }
void ScriptedAnswers::queueCount(int16_t counter, std::vector<uint32_t> counts) {
  for (auto c : counts) countQueue_[counter].push_back(c);
}
void ScriptedAnswers::addDevice(const std::string& name, int32_t deviceNum) {
  DeviceListEntry e{};
  e.deviceNum = deviceNum >= 0 ? deviceNum : static_cast<int32_t>(devices_.size());
  std::memcpy(e.deviceName, name.c_str(), std::min(name.size(), sizeof e.deviceName));
  devices_.push_back(e);
}

// The device side answers every call; the wrapper has already recorded it and answered a
// programmed failure instead.
using Device = ScriptedAnswers::Device;

int32_t Device::DeviceGetList(DeviceListEntry* list, int16_t maxEntries, int16_t* entriesOut) {
  int16_t n = 0;
  for (const auto& d : a_.devices_) {
    if (n >= maxEntries) break;
    list[n++] = d;
  }
  if (entriesOut) *entriesOut = n;
  return 0;
}

int32_t Device::DeviceGetNumOfList(int16_t* count) {
  if (count) *count = static_cast<int16_t>(a_.devices_.size());
  return 0;
}

int32_t Device::DeviceOpen(int32_t, int32_t* handleOut) {
  if (handleOut) *handleOut = a_.handle;
  return 0;
}

int32_t Device::DeviceClose(int32_t*) { return 0; }

int32_t Device::DeviceGetFeatures(int32_t, DeviceFeatures* out) {
  if (out) *out = a_.features;
  return 0;
}

int32_t Device::AIGetConfig(int32_t, AIConfigRecord* out) {
  if (out) *out = a_.aiConfig;
  return 0;
}

int32_t Device::GetErrorMessage(int32_t status, char text[80]) {
  const auto it = a_.errorText_.find(status);
  const std::string t =
      it != a_.errorText_.end() ? it->second : "driver error " + std::to_string(status);
  std::memset(text, 0, 80);
  std::strncpy(text, t.c_str(), 79);
  return 0;
}

int32_t Device::DioSetPortMode(int32_t, const PortModeRequest&) { return 0; }

int32_t Device::DioWritePortByte(int32_t, const PortWriteRequest& r) {
  a_.portOut[r.port] = static_cast<int16_t>((a_.portOut[r.port] & ~r.mask) | (r.value & r.mask));
  return 0;
}

template <class T>
T next(std::map<int16_t, T>& constant, std::map<int16_t, std::deque<T>>& queues, int16_t key) {
  auto& q = queues[key];
  if (q.empty()) return constant[key];
  const T v = q.front();
  q.pop_front();
  return v;
}

int32_t Device::DioReadPortByte(int32_t, const PortReadRequest& r) {
  const int16_t v = next(a_.portIn_, a_.portInQueue_, r.port);
  if (r.value) *r.value = v;
  return 0;
}

int32_t Device::AIConfig(int32_t, const AIConfigRequest&) { return 0; }

int32_t Device::AIVoltageIn(int32_t, const AIVoltageInRequest& r) {
  const auto source = a_.analogSource_.find(r.channel);
  const float v = source != a_.analogSource_.end() ? source->second()
                                                   : next(a_.analog_, a_.analogQueue_, r.channel);
  if (r.voltage) *r.voltage = v;
  return 0;
}

int32_t Device::AOConfig(int32_t, const AOConfigRequest&) { return 0; }

int32_t Device::AOVoltageOut(int32_t, const AOVoltageOutRequest& r) {
  a_.analogOut[r.channel] = r.volts;
  return 0;
}

int32_t Device::CounterEventStart(int32_t, const CounterEventStartRequest&) { return 0; }

int32_t Device::CounterEventRead(int32_t, const CounterEventReadRequest& r) {
  // A queued count stays as the counter's count once read.
  const uint32_t c = a_.count_[r.counter] = next(a_.count_, a_.countQueue_, r.counter);
  if (r.overflow) *r.overflow = 0;
  if (r.count) *r.count = c;
  return 0;
}

int32_t Device::CounterReset(int32_t, int16_t) { return 0; }

int32_t Device::CounterPulseStart(int32_t, const CounterPulseStartRequest&) { return 0; }

int32_t Device::CounterFreqStart(int32_t, const CounterFreqStartRequest&) { return 0; }

}  // namespace morvand::test
