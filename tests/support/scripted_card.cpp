#include "support/scripted_card.hpp"

#include <algorithm>
#include <cstring>

#include "util/numeric.hpp"

namespace morvand::test {

std::string DriverCall::text() const {
  std::string s = op + "(";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) s += ", ";
    // Request fields are integers or singles: print them in the single's shortest form.
    const auto asSingle = static_cast<float>(fields[i]);
    s += static_cast<double>(asSingle) == fields[i] ? util::formatSingle(asSingle)
                                                    : util::formatDouble(fields[i]);
  }
  return s + ")";
}

ScriptedCard::ScriptedCard() {
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

void ScriptedCard::setStatus(const std::string& op, int32_t status) { status_[op] = status; }
void ScriptedCard::failCall(const std::string& op, int32_t status, int nth) {
  failures_[op][nth] = status;
}
void ScriptedCard::failText(const std::string& text, int32_t status, int times) {
  textFailures_[text] = {status, times};
}
void ScriptedCard::setErrorText(int32_t status, const std::string& text) {
  errorText_[status] = text;
}
void ScriptedCard::setAnalog(int16_t channel, float volts) { analog_[channel] = volts; }
void ScriptedCard::queueAnalog(int16_t channel, std::vector<float> volts) {
  for (float v : volts) analogQueue_[channel].push_back(v);
}
void ScriptedCard::setAnalogSource(int16_t channel, std::function<float()> source) {
  analogSource_[channel] = std::move(source);
}
void ScriptedCard::setPortIn(int16_t port, int16_t value) { portIn_[port] = value; }
void ScriptedCard::queuePortIn(int16_t port, std::vector<int16_t> values) {
  for (auto v : values) portInQueue_[port].push_back(v);
}
void ScriptedCard::setCount(int16_t counter, uint32_t count) { count_[counter] = count; }
void ScriptedCard::queueCount(int16_t counter, std::vector<uint32_t> counts) {
  for (auto c : counts) countQueue_[counter].push_back(c);
}
void ScriptedCard::addDevice(const std::string& name, int32_t deviceNum) {
  DeviceListEntry e{};
  e.deviceNum = deviceNum >= 0 ? deviceNum : static_cast<int32_t>(devices_.size());
  std::memcpy(e.deviceName, name.c_str(), std::min(name.size(), sizeof e.deviceName));
  devices_.push_back(e);
}

std::vector<std::string> ScriptedCard::texts(const std::string& op) const {
  std::vector<std::string> out;
  for (const auto& c : calls_) {
    if (op.empty() || c.op == op) out.push_back(c.text());
  }
  return out;
}

int32_t ScriptedCard::record(const std::string& op, std::vector<double> fields) {
  calls_.push_back({op, std::move(fields)});
  int32_t status = status_.count(op) ? status_[op] : 0;
  auto f = failures_.find(op);
  if (f != failures_.end() && !f->second.empty()) {
    std::map<int, int32_t> next;
    for (auto& [countdown, st] : f->second) {
      if (countdown == 1) {
        status = st;
      } else {
        next[countdown - 1] = st;
      }
    }
    f->second = next;
  }
  if (!textFailures_.empty()) {
    auto t = textFailures_.find(calls_.back().text());
    if (t != textFailures_.end() && t->second.second > 0) {
      status = t->second.first;
      --t->second.second;
    }
  }
  if (onCall) onCall(calls_.back());
  return status;
}

int32_t ScriptedCard::DeviceGetList(DeviceListEntry* list, int16_t maxEntries,
                                    int16_t* entriesOut) {
  const int32_t st = record("DeviceGetList", {static_cast<double>(maxEntries)});
  if (st != 0) return st;
  int16_t n = 0;
  for (const auto& d : devices_) {
    if (n >= maxEntries) break;
    list[n++] = d;
  }
  if (entriesOut) *entriesOut = n;
  return 0;
}

int32_t ScriptedCard::DeviceGetNumOfList(int16_t* count) {
  const int32_t st = record("DeviceGetNumOfList", {});
  if (st == 0 && count) *count = static_cast<int16_t>(devices_.size());
  return st;
}

int32_t ScriptedCard::DeviceOpen(int32_t deviceNum, int32_t* handleOut) {
  const int32_t st = record("DeviceOpen", {static_cast<double>(deviceNum)});
  if (st == 0 && handleOut) *handleOut = handle;
  return st;
}

int32_t ScriptedCard::DeviceClose(int32_t* handleInOut) {
  return record("DeviceClose", {handleInOut ? static_cast<double>(*handleInOut) : -1.0});
}

int32_t ScriptedCard::DeviceGetFeatures(int32_t, DeviceFeatures* out) {
  const int32_t st = record("DeviceGetFeatures", {});
  if (st == 0 && out) *out = features;
  return st;
}

int32_t ScriptedCard::AIGetConfig(int32_t, AIConfigRecord* out) {
  const int32_t st = record("AIGetConfig", {});
  if (st == 0 && out) *out = aiConfig;
  return st;
}

int32_t ScriptedCard::GetErrorMessage(int32_t status, char text[80]) {
  calls_.push_back({"GetErrorMessage", {static_cast<double>(status)}});
  if (const auto st = status_.find("GetErrorMessage"); st != status_.end() && st->second != 0) {
    return st->second;
  }
  const auto it = errorText_.find(status);
  const std::string t =
      it != errorText_.end() ? it->second : "driver error " + std::to_string(status);
  std::memset(text, 0, 80);
  std::strncpy(text, t.c_str(), 79);
  return 0;
}

int32_t ScriptedCard::DioSetPortMode(int32_t, const PortModeRequest& r) {
  return record("DioSetPortMode", {double(r.port), double(r.direction)});
}

int32_t ScriptedCard::DioWritePortByte(int32_t, const PortWriteRequest& r) {
  const int32_t st = record("DioWritePortByte", {double(r.port), double(r.mask), double(r.value)});
  if (st == 0) {
    portOut[r.port] = static_cast<int16_t>((portOut[r.port] & ~r.mask) | (r.value & r.mask));
  }
  return st;
}

int32_t ScriptedCard::DioReadPortByte(int32_t, const PortReadRequest& r) {
  const int32_t st = record("DioReadPortByte", {double(r.port)});
  if (st != 0) return st;
  int16_t v = portIn_[r.port];
  auto& q = portInQueue_[r.port];
  if (!q.empty()) {
    v = q.front();
    q.pop_front();
  }
  if (r.value) *r.value = v;
  return 0;
}

int32_t ScriptedCard::AIConfig(int32_t, const AIConfigRequest& r) {
  return record("AIConfig", {double(r.channel), double(r.gainCode)});
}

int32_t ScriptedCard::AIVoltageIn(int32_t, const AIVoltageInRequest& r) {
  const int32_t st =
      record("AIVoltageIn", {double(r.channel), double(r.gainCode), double(r.trigMode)});
  if (st != 0) return st;
  float v = analog_[r.channel];
  auto& q = analogQueue_[r.channel];
  if (analogSource_.count(r.channel)) {
    v = analogSource_[r.channel]();
  } else if (!q.empty()) {
    v = q.front();
    q.pop_front();
  }
  if (r.voltage) *r.voltage = v;
  return 0;
}

int32_t ScriptedCard::AOConfig(int32_t, const AOConfigRequest& r) {
  return record("AOConfig", {double(r.channel), double(r.maxVolts), double(r.minVolts)});
}

int32_t ScriptedCard::AOVoltageOut(int32_t, const AOVoltageOutRequest& r) {
  const int32_t st = record("AOVoltageOut", {double(r.channel), double(r.volts)});
  if (st == 0) analogOut[r.channel] = r.volts;
  return st;
}

int32_t ScriptedCard::CounterEventStart(int32_t, const CounterEventStartRequest& r) {
  return record("CounterEventStart", {double(r.counter), double(r.gateMode)});
}

int32_t ScriptedCard::CounterEventRead(int32_t, const CounterEventReadRequest& r) {
  const int32_t st = record("CounterEventRead", {double(r.counter)});
  if (st != 0) return st;
  uint32_t c = count_[r.counter];
  auto& q = countQueue_[r.counter];
  if (!q.empty()) {
    c = q.front();
    q.pop_front();
    count_[r.counter] = c;
  }
  if (r.overflow) *r.overflow = 0;
  if (r.count) *r.count = c;
  return 0;
}

int32_t ScriptedCard::CounterReset(int32_t, int16_t counter) {
  return record("CounterReset", {double(counter)});
}

int32_t ScriptedCard::CounterPulseStart(int32_t, const CounterPulseStartRequest& r) {
  return record("CounterPulseStart",
                {double(r.counter), double(r.period), double(r.highTime), double(r.gateMode)});
}

int32_t ScriptedCard::CounterFreqStart(int32_t, const CounterFreqStartRequest& r) {
  return record("CounterFreqStart", {double(r.counter), double(r.gatePeriod), double(r.gateMode)});
}

}  // namespace morvand::test
