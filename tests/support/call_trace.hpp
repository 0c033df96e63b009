#pragma once
// A timeline of driver calls for tests that check sequences with their waits: every call
// is recorded as its text, and virtual time that passed since the previous call shows as an
// entry "wait <seconds>" rounded to 10 ms (the polling of a wait overshoots by a tick).

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "morvand/clock.hpp"
#include "support/scripted_card.hpp"

namespace morvand::test {

class CallTrace {
 public:
  /// Starts recording the calls of card on clock (replaces card.onCall).
  CallTrace(ScriptedCard& card, VirtualClock& clock)
      : card_(card), clock_(clock), last_(clock.now()) {
    card.onCall = [this](const DriverCall& call) { add(call.text()); };
  }
  ~CallTrace() { card_.onCall = nullptr; }
  CallTrace(const CallTrace&) = delete;
  CallTrace& operator=(const CallTrace&) = delete;
  /// Entries so far, optionally keeping only those that start with one of the prefixes
  /// (waits are always kept).
  std::vector<std::string> entries(const std::vector<std::string>& keep = {}) const {
    if (keep.empty()) return entries_;
    std::vector<std::string> out;
    for (const auto& e : entries_) {
      bool wanted = e.rfind("wait ", 0) == 0;
      for (const auto& k : keep) wanted = wanted || e.rfind(k, 0) == 0;
      if (wanted) out.push_back(e);
    }
    // Waits separated only by dropped calls merge into one.
    std::vector<std::string> merged;
    double pending = 0.0;
    for (const auto& e : out) {
      if (e.rfind("wait ", 0) == 0) {
        pending += std::stod(e.substr(5));
        continue;
      }
      if (pending > 0.0) merged.push_back(waitText(pending));
      pending = 0.0;
      merged.push_back(e);
    }
    if (pending > 0.0) merged.push_back(waitText(pending));
    return merged;
  }
  /// Records the time passed since the last call as a final wait entry.
  void finish() { add(""); }
  void clear() {
    entries_.clear();
    last_ = clock_.now();
  }

 private:
  static std::string waitText(double seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "wait %.2f", std::round(seconds * 100.0) / 100.0);
    return buf;
  }
  void add(const std::string& text) {
    const auto now = clock_.now();
    const double gap = std::chrono::duration<double>(now - last_).count();
    if (gap >= 0.005) entries_.push_back(waitText(gap));
    last_ = now;
    if (!text.empty()) entries_.push_back(text);
  }

  ScriptedCard& card_;
  VirtualClock& clock_;
  std::chrono::nanoseconds last_;
  std::vector<std::string> entries_;
};

}  // namespace morvand::test
