#include "morvand/recording_driver.hpp"

#include <algorithm>

#include "util/numeric.hpp"

namespace morvand {
namespace {

template <class... F>
std::vector<double> recordedFields(F... fields) {
  return {static_cast<double>(fields)...};
}

}  // namespace

std::string DriverCall::text() const {
  std::string s = std::string(driverOpName(op)) + "(";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) s += ", ";
    // Request fields are integers or singles: print them in the single's shortest form.
    const auto asSingle = static_cast<float>(fields[i]);
    s += static_cast<double>(asSingle) == fields[i] ? util::formatSingle(asSingle)
                                                    : util::formatDouble(fields[i]);
  }
  return s + ")";
}

void RecordingDriver::setStatus(DriverOp op, int32_t status) {
  injections_[static_cast<size_t>(op)].always = status;
}

void RecordingDriver::failCall(DriverOp op, int32_t status, int nth) {
  const size_t i = static_cast<size_t>(op);
  injections_[i].atCall[counts_[i] + static_cast<uint64_t>(std::max(1, nth))] = status;
}

void RecordingDriver::failText(const std::string& text, int32_t status, int times) {
  textFailures_[text] = {status, times};
}

void RecordingDriver::clearFailures() {
  for (auto& injection : injections_) injection = Injection{};
  textFailures_.clear();
}

std::vector<std::string> RecordingDriver::texts() const {
  std::vector<std::string> out;
  for (const auto& c : calls_) out.push_back(c.text());
  return out;
}

std::vector<std::string> RecordingDriver::texts(DriverOp op) const {
  std::vector<std::string> out;
  for (const auto& c : calls_) {
    if (c.op == op) out.push_back(c.text());
  }
  return out;
}

int32_t RecordingDriver::enter(DriverOp op, std::vector<double> fields) {
  const size_t i = static_cast<size_t>(op);
  const uint64_t n = ++counts_[i];
  auto& injection = injections_[i];
  int32_t status = injection.always;
  if (auto it = injection.atCall.find(n); it != injection.atCall.end()) {
    status = it->second;
    injection.atCall.erase(it);
  }
  if (!textFailures_.empty()) {
    auto t = textFailures_.find(DriverCall{op, fields}.text());
    if (t != textFailures_.end() && t->second.second > 0) {
      status = t->second.first;
      if (--t->second.second == 0) textFailures_.erase(t);
    }
  }
  if (onCall) {
    const DriverCall call{op, std::move(fields)};
    if (keepCalls) calls_.push_back(call);
    onCall(call);
  } else if (keepCalls) {
    calls_.push_back({op, std::move(fields)});
  }
  return status;
}

#define MORVAND_RECORDING_DEFINE(name, params, args, fields)                                  \
  int32_t RecordingDriver::name params {                                                      \
    const int32_t injected =                                                                  \
        enter(DriverOp::name, wantsFields() ? recordedFields fields : std::vector<double>{}); \
    return injected != 0 ? injected : inner_.name args;                                       \
  }
MORVAND_DRIVER_OPERATIONS(MORVAND_RECORDING_DEFINE)
#undef MORVAND_RECORDING_DEFINE

}  // namespace morvand
