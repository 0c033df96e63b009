#pragma once
// Private state of the controller, one small struct per owning subsystem, and its private
// operations. Each subsystem's structs live in its own header; only that subsystem writes them
// (others may read).

#include <functional>
#include <initializer_list>
#include <string>

#include "card/card_state.hpp"
#include "controller/controller_state.hpp"
#include "firing/firing_state.hpp"
#include "gas/gas_state.hpp"
#include "hv/hv_state.hpp"
#include "model/model_state.hpp"
#include "morvand/morvand.hpp"
#include "motor/motor_state.hpp"
#include "thermal/thermal_state.hpp"

namespace morvand {

namespace gas {
struct Message;  // an operator message of the gas procedures (text, style, title)
}

/// Everything a controller keeps to itself, behind Morvand::state_: its private state and
/// the private operations of its subsystems, which act on the controller m.
struct Morvand::State {
  State(Morvand& controller, HostServices& host, Events* events, Clock* clock)
      : m(controller), host_(host), events_(events), clock_(clock) {}

  // ---- controller: messages, timing, settings, start-up and shutdown ----
  /// The operator message: a modal box when PopupMessage is true (returns its answer, also
  /// kept in msg_.MsgAnswer only when keepAnswer), else a LaserMessenger event (returns 0).
  int16_t operatorMessage(const std::string& text, int16_t style, const std::string& title,
                          bool keepAnswer = false);
  /// Shows the question composed in msg_ (MsgText, MsgStyle, MsgTitle) as a modal box and
  /// keeps the answer in msg_.MsgAnswer.
  int16_t askComposed();
  /// Stores status in DriverStatus; when non-zero makes the driver error report and returns
  /// false.
  bool driverOk(int32_t status);
  /// As driverOk, with the text "status: ErrorText" (CounterStop).
  bool driverOkWithCode(int32_t status);
  /// As driverOk, but the report is always a modal box with "status: ErrorText" and the
  /// given title, and no event is raised.
  bool driverOkTagged(int32_t status, const char* title);
  /// driverOkTagged when tag is given, else driverOk.
  bool driverOkOrTagged(int32_t status, const char* tag);
  /// Fills ErrorText for status from the driver.
  void fetchErrorText(int32_t status);
  /// One pass of a polling loop: lets the host run.
  void yieldToHost();
  /// The event sink (a sink that ignores everything when none is connected).
  Events& events();
  void loadSettings();
  /// Writes the four settings files; a failing file is reported and the others still written.
  void storeSettings();
  /// Writes one settings file atomically; false after reporting a failure.
  bool storeFile(const std::string& name, const std::string& line);
  /// Text of a Single settings field; a non-finite value is saved as the field's initial
  /// value and reported.
  std::string savedSingle(const char* file, const char* field, float value, float initial);
  /// Writes "Typedata"; false after reporting a failure.
  bool storeTypedata();

  // ---- card layer: the one port write, the one analog reading, the one analog output ----
  /// Titles of the tagged driver error report for the two driver calls of one port write,
  /// analog reading or analog output (nullptr: the plain report; Tags{} has both nullptr).
  struct DriverTags {
    const char* first;   ///< port mode or analog configuration
    const char* second;  ///< port write, analog read or analog write
  };
  using Tags = DriverTags;
  /// Port write: direction (when the card has programmable ports), then the masked write.
  /// Does nothing and returns false when no card is selected, unless requireCard is false.
  bool writePort(int16_t port, int16_t mask, int16_t value, Tags tags = {},
                 bool requireCard = true);
  /// One analog reading of channel into volts; false on no card (unless requireCard is
  /// false) or a reported driver failure.
  bool readAnalog(int16_t channel, float& volts, Tags tags = {}, bool requireCard = true);
  /// One analog output: configure channel for 0..5 V, then write volts.
  bool writeAnalog(int16_t channel, float volts, Tags tags = {});
  /// The two halves of an analog output, for an operation with a step between them.
  bool configureAnalogOut(int16_t channel, const char* tag = nullptr);
  bool writeAnalogOut(int16_t channel, float volts, const char* tag = nullptr);
  /// True when a card is selected (PCIcard not 0).
  bool cardSelected() const { return m.PCIcard != 0; }
  /// True when the last successful write left the high-voltage enable line on.
  bool enableLineOn() const;
  /// CounterStart with its result: false after a reported failure or without a card.
  bool startCounter(int16_t CounterNum);
  /// MotorVStart; a ramp that belongs to a run (stopInterrupts) ends early once a stop is
  /// asked (flag2 1), leaving the drive where it got to.
  void motorRamp(int32_t mReprate, bool stopInterrupts);
  /// Top of the range every analog output is configured for, V.
  static constexpr float kAnalogOutVolts = 5.0f;
  /// One driver command (a write to the card): inside a switch-off sequence a failing
  /// command is sent once more before its status is reported. Reads never repeat.
  bool commandOk(const std::function<int32_t()>& send, const char* tag = nullptr);
  /// Runs the steps of a sequence that makes the laser safe: every step is attempted even
  /// when an earlier one failed or threw, each command in it gets its second try, and the
  /// first error is rethrown once all steps have run.
  void switchOffSequence(std::initializer_list<std::function<void()>> steps);
  /// True while a switch-off sequence runs (not while the host runs in one of its yields).
  bool switchingOff() const;
  /// The enable line, with the result of its write (false also without a card).
  bool setEnableLine(bool on);
  /// Closes every valve as the closing write of a gas procedure (a switch-off step).
  void closeValvesSafely();

  // ---- private operations of the subsystems ----
  int16_t LaserListIndex(ListControl& list, int16_t code);
  void EnableDC();

  // ---- firing: the steps of LaserRun (src/firing/) ----
  /// Start checks (budget, rate, pressure, temperature, set-point, energy scale); false when
  /// the start is refused.
  bool runStartChecks();
  /// Switches everything on and starts firing or standby; false when the run has already
  /// ended (the enable line could not be switched on; its message already given).
  bool runStartSequence();
  /// One pass of the run loop; false when the run has ended (its message already given).
  bool runPass();
  /// The firing branch of a pass; false when a voltage limit or a failed enable line ended
  /// the run.
  bool runFiringStep();
  /// Enable line on for firing; false (after "Laser Operation Stopped", flag2 1) when its
  /// write failed on a selected card.
  bool runEnableFiring();
  /// Starts the counting counter; when it cannot be started the run estimates its pulses
  /// from then on, and the host is told.
  void runStartCounting();
  /// True when the run's pulses are estimated from time and rate.
  bool runEstimates() const;
  /// Pulses since t0 at the rate the generator runs at (RepRate with an external trigger),
  /// plus CounterTotal.
  int32_t estimatedPulses(double now) const;
  /// What an error leaving the run leaves behind: the switching steps of the stop sequence
  /// and the pulse accounting, each tried; their own errors give way to the first one.
  void runStopAfterError() noexcept;
  /// Stop sequence and pulse accounting.
  void runStopSequence();
  /// Adds the run's pulses to CumTotalPulses and PulsesThisFill (OverflowError beyond 32 bits).
  void accountRunPulses();

  // ---- gas procedures (src/gas) ----
  /// When a pressure poll of a gas procedure has reached its goal.
  enum class PollStop {
    AtOrBelow,  ///< pumping: the pressure is at or below the threshold
    AtOrAbove,  ///< purging: the pressure is at or above the threshold
    Above,      ///< filling: the pressure is above the threshold
  };
  /// Refuses a gas procedure with an operator message while a run is active or, when
  /// needFillTarget, when the model and gas give no fill target or an inverted one.
  bool gasProcedureRefused(bool needFillTarget);
  /// A question through msg_ (modal box) or, without pop-ups, eventText as an event;
  /// true when the operator answered No or Cancel.
  bool gasQuestionRefused(const std::string& text, int16_t style, const std::string& title,
                          const std::string& eventText);
  /// Fills premix up to target Torr (announce shown first when pop-ups are on); after the
  /// pre-fill time limit closes the valves, reports timeout and returns false.
  bool preFill(float target, const gas::Message& announce, const gas::Message& timeout);
  /// The fill cycles of a refill, up to five; a failure closes the valves with its message.
  void refillCycles(float fillLimit, bool secondReadingInFirstCycle);
  /// Polls the pressure (clock, yield, reading, optionally temperature) until it meets
  /// threshold as stop says or limit seconds have passed; returns the elapsed time, s.
  float pollPressure(float limit, PollStop stop, float threshold, bool withTemperature);

  Morvand& m;
  HostServices& host_;
  Events* events_ = nullptr;
  Clock* clock_ = nullptr;

  detail::MessageState msg_;
  detail::SettingsState settings_;
  detail::CardState card_;
  detail::CounterState counters_;
  detail::ModelState model_;
  detail::FillState fill_;
  detail::HighVoltageState hv_;
  detail::EnergyState energy_;
  detail::GasState gas_;
  detail::ThermalState thermal_;
  detail::ThyratronState thyratron_;
  detail::RunState run_;
  detail::PulseState pulse_;
  detail::ExtTriggerState ext_;
  detail::MotorState motor_;
};

/// The one door to a controller's private state, for the library's own code and its tests.
struct Internals {
  static Morvand::State& state(Morvand& m) { return *m.state_; }
  static const Morvand::State& state(const Morvand& m) { return *m.state_; }
};

}  // namespace morvand
