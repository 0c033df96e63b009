#pragma once
// What the gas procedures share: their operator messages, their pressure thresholds and the
// marker that a procedure is running.

#include <charconv>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "model/model_rules.hpp"
#include "morvand/host.hpp"

namespace morvand::gas {

/// Message-box styles of the gas procedures.
inline constexpr int16_t kOkWarning = kStyleWarning;
inline constexpr int16_t kOkCritical = kStyleStop;
inline constexpr int16_t kYesNoCancel = kStyleYesNoCancel;
inline constexpr int16_t kYesNoWarning = kStyleYesNo | kStyleWarning;

/// One operator message: text, box style and title.
struct Message {
  const char* text;
  int16_t style;
  const char* title;
};

inline constexpr Message kManualValve{"THE MANUAL VALVE MUST BE OPEN FOR THIS OPERATION",
                                      kOkWarning, "MANUAL VALVE WARNING"};
inline constexpr Message kBelowZero{"PRESSURE IS LESS THAN ZERO, CANNOT PROCEED", kOkWarning,
                                    "SERVICE REQUIRED"};
inline constexpr Message kPumpNoDrop{"PUMP OUT FAILURE, THERE IS NO CHANGE IN GAS PRESSURE",
                                     kOkCritical, "PUMP TIME OUT FAILURE"};
inline constexpr Message kFillNoRise{
    "FILL FAILURE, THERE IS NO CHANGE IN GAS PRESSURE DURING GAS REFILL", kOkCritical,
    "FILL FAILURE"};
inline constexpr Message kOverPressure{"OPERATING PRESSURE EXCEEDED", kOkCritical, "FILL FAILURE"};
inline constexpr Message kChamberLow760{
    "THERE MAY BE A PROBLEM, THE CHAMBER PRESSURE READS LESS THAN 760 TORR, DO YOU WISH TO "
    "PROCEDE?",
    kYesNoCancel, "CHAMBER PRESSURE LOW"};
inline constexpr Message kLaserRunning{"STOP THE LASER BEFORE STARTING A GAS PROCEDURE", kOkWarning,
                                       "LASER RUNNING"};
inline constexpr Message kNoFillTarget{
    "NO FILL PRESSURE IS DEFINED FOR THIS LASER AND GAS, PROCEDURE CANCELLED", kOkWarning,
    "NO FILL PRESSURE"};

/// Torr as the operator reads it: the shortest text of the single, at most seven significant
/// digits ("129", not the "129.00002" that a gauge voltage of 0.3 V converts to).
inline std::string pressureText(float torr) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, torr, std::chars_format::general, 7).ptr;
  return std::string(text, end);
}

/// A fill that ended by time below its fill pressure, naming what it reached.
inline std::string fillShortText(float reached, float fillPressure) {
  return "FILL INCOMPLETE, THE CHAMBER PRESSURE REACHED " + pressureText(reached) +
         " TORR, THE FILL PRESSURE IS " + pressureText(fillPressure) + " TORR";
}
inline constexpr const char* kFillShortTitle = "FILL INCOMPLETE";

/// Valve patterns of the gas procedures (bit 0 pump, 1 premix, 2 helium, 3 main, 4 vacuum).
inline constexpr int16_t kPatternFill = 0x0A;         ///< premix and main
inline constexpr int16_t kPatternPumpout = 0x19;      ///< pump, main and vacuum
inline constexpr int16_t kPatternFilterPress = 0x03;  ///< pump and premix

/// Torr, the highest pressure a fill of this model may reach.
inline float fillCap(int16_t model) { return modelRules(model).fillCap; }
/// s, when the pump-out drop is first checked.
inline float pumpCheckTime(int16_t model) { return modelRules(model).pumpCheckTime; }

/// Pressure units: Torr, the unit every threshold of the procedures is written in.
inline constexpr int32_t kUnitsTorr = 3;

/// Fill cycles of the refills: at most five, the first long, the others short top-ups.
inline constexpr int kMaxFillCycles = 5;
inline constexpr float kFirstFillTime = 60.0f;   ///< s
inline constexpr float kLaterFillTime = 3.0f;    ///< s
inline constexpr float kRiseCheckTime = 5.0f;    ///< s into the first cycle
inline constexpr float kMinimumRise = 50.0f;     ///< Torr above the pumped-out pressure
inline constexpr double kSettlingTime = 2.0;     ///< s between cycles
inline constexpr float kPreFillTimeout = 40.0f;  ///< s

/// Marks a gas procedure as running for its lifetime. A procedure started from inside
/// another one's yield leaves the outer marker set when it ends.
class ActiveMark {
 public:
  explicit ActiveMark(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
  ~ActiveMark() { flag_ = previous_; }
  ActiveMark(const ActiveMark&) = delete;
  ActiveMark& operator=(const ActiveMark&) = delete;

 private:
  bool& flag_;
  bool previous_;
};

/// Runs close (closing every valve) when a fault that fails the call unwinds the procedure,
/// so that no gas line is left open behind an error.
template <typename Close>
class CloseOnFault {
 public:
  explicit CloseOnFault(Close close) : close_(std::move(close)) {}
  ~CloseOnFault() {
    if (std::uncaught_exceptions() <= pending_) return;
    try {
      close_();
    } catch (...) {  // the first fault is the one the caller gets
    }
  }
  CloseOnFault(const CloseOnFault&) = delete;
  CloseOnFault& operator=(const CloseOnFault&) = delete;

 private:
  Close close_;
  int pending_ = std::uncaught_exceptions();
};

}  // namespace morvand::gas
