#pragma once
/// Recording and fault injection around any card driver: every call is counted (and, when
/// asked, recorded with its request fields) and can be made to answer a programmed status
/// instead of reaching the driver. The tests' scripted card, the simulated card and the
/// tests of hardware back ends use it alike.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "morvand/card_driver.hpp"

namespace morvand {

/// One recorded driver call: the operation and its request fields in record order.
struct DriverCall {
  DriverOp op;
  std::vector<double> fields;
  /// "Op(f1, f2, ...)", numbers in their shortest form, e.g. "DioWritePortByte(0, 128, 128)".
  std::string text() const;
};

class RecordingDriver : public CardDriver {
 public:
  /// Wraps inner, which must outlive the wrapper.
  explicit RecordingDriver(CardDriver& inner) : inner_(inner) {}

  // --- fault injection: a failing call answers the status and does not reach the driver ---
  /// Every later call of op answers status (0 lets them through again).
  void setStatus(DriverOp op, int32_t status);
  /// The nth call of op from now (1 = the next one) answers status; the others keep theirs.
  void failCall(DriverOp op, int32_t status, int nth = 1);
  /// The next `times` calls whose text (DriverCall::text) is exactly text answer status.
  void failText(const std::string& text, int32_t status, int times = 1);
  /// Drops every programmed status.
  void clearFailures();

  // --- what was called ---
  /// Calls of op so far, failed ones included.
  uint64_t calls(DriverOp op) const { return counts_[static_cast<size_t>(op)]; }
  /// The recorded calls, oldest first (empty unless keepCalls).
  const std::vector<DriverCall>& calls() const { return calls_; }
  /// The recorded calls as texts, optionally only those of one operation.
  std::vector<std::string> texts() const;
  std::vector<std::string> texts(DriverOp op) const;
  void clearCalls() { calls_.clear(); }
  /// Whether calls() keeps every call (counts are always kept).
  bool keepCalls = true;
  /// Called for every call after it is counted, before it reaches the driver.
  std::function<void(const DriverCall&)> onCall;

  // --- CardDriver ---
  MORVAND_DRIVER_OVERRIDES

 private:
  /// Counts (and records) the call; returns the status it must answer instead of reaching
  /// the driver, or 0.
  int32_t enter(DriverOp op, std::vector<double> fields);
  bool wantsFields() const { return keepCalls || onCall || !textFailures_.empty(); }

  struct Injection {
    int32_t always = 0;
    std::map<uint64_t, int32_t> atCall;  // call number -> status
  };
  CardDriver& inner_;
  std::array<uint64_t, kDriverOpCount> counts_{};
  std::array<Injection, kDriverOpCount> injections_{};
  std::map<std::string, std::pair<int32_t, int>> textFailures_;  // text -> (status, times)
  std::vector<DriverCall> calls_;
};

}  // namespace morvand
