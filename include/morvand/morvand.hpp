#pragma once
/// The controller class: one object controls one laser through the card context of its thread.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "morvand/clock.hpp"
#include "morvand/detail/state.hpp"
#include "morvand/errors.hpp"
#include "morvand/host.hpp"
#include "morvand/properties.hpp"

namespace morvand {

namespace gas {
struct Message;  // an operator message of the gas procedures (text, style, title)
}

/// Values the model, card and fill rules derive; a copy for hosts and tests.
struct Limits {
  int32_t RepRateMax, RepRateMedium, RepRateSlow, RepRateMin;
  float TempMax, EnergyScale, ThyWarmTime;
  int32_t PressScale;
  float PressMax, FillPressLow, FillPressHigh, PumpoutTime, PartialPumpoutTime;
  int16_t ExtTrigCounter, HighRepFill;
};

class Morvand : public Properties {
 public:
  /// Runs the construction sequence: reads the settings files from settingsDirectory (empty:
  /// the current directory) (SettingsError when one is missing, short or out of range) and
  /// loads the stored model. The destruction sequence writes them back to the same directory.
  /// host, events and clock must outlive the controller; no clock means the system clock.
  explicit Morvand(HostServices& host, Events* events = nullptr, Clock* clock = nullptr,
                   const std::string& settingsDirectory = {});
  /// Destruction sequence: stops a run, shuts the laser down, closes the card, writes the
  /// settings files. Never throws.
  ~Morvand();
  Morvand(const Morvand&) = delete;
  Morvand& operator=(const Morvand&) = delete;

  /// Connects (or, with nullptr, disconnects) the host's event sink.
  void setEvents(Events* events);
  /// The values derived from the model, card and fill rules.
  Limits limits() const;

  /// Current time, s (monotonic, millisecond resolution).
  double myTimer();
  /// Closes every valve (valve pattern 0).
  void CloseAllValves();
  /// Switches all eight lines of the valve port off.
  void AllClose();
  /// Switches all eight control lines of port 0 off.
  void AllOff();
  /// Reads counter 0.
  void Counter0Read();
  /// Starts event counting on counter 0.
  void Counter0Start();
  /// Reads counter 1 and keeps its count for the trigger-rate measurements.
  void Counter1Read();
  /// Starts event counting on counter 1.
  void Counter1Start();
  /// Reads counter 2.
  void Counter2Read();
  /// Starts event counting on counter 2.
  void Counter2Start();
  /// Reads a counter; true when a new count rate was computed.
  bool CounterRead(int16_t CounterNum);
  /// Computes a count rate from the stored counts without reading the card.
  bool CounterFreqRead(int16_t CounterNum);
  /// Starts event counting on a counter and resets its rate state.
  void CounterStart(int16_t CounterNum);
  /// Resets a counter channel and marks it inactive.
  void CounterStop(int16_t CounterNum);
  /// Applies a digital motor level, keeping the charge-mode line.
  bool DCmotorOn(int16_t MotorMode);
  /// Waits delaytime seconds while yielding to the host (as Waiting).
  void Delay(double delaytime);
  /// Sets or clears the high-voltage enable line.
  void Enable(bool EnableOn);
  /// Measures one pulse energy; returns the mean energy (0 for a rejected sample, -1 on a
  /// driver failure).
  float EnergyMes();
  /// Position of the energy or voltage set-point on the 0..100 slider.
  float EV_to_Slider();
  /// Status poll: measurements, supply test, pressure problems, warm-up when due.
  void MorvandStatus(bool CheckState);
  /// Measures the external trigger rate on the trigger counter.
  bool ExtRepRateMes();
  /// Measures the external trigger rate on counter 1, Hz.
  float ExtRepRateMes1();
  /// State of the external start input (with hysteresis).
  bool ExtStart();
  /// Switches the fan line (low when FanOn).
  bool Fan(bool FanOn);
  /// Measures the filament voltage and reports it when outside its band.
  void FilamentCheck();
  /// Reads the thyratron filament voltage.
  void FilamentVolts();
  /// Fills the chamber with premix up to the model limit.
  void FillLaser();
  /// Automatic gas replacement: pump-out and fill cycles to the fill target.
  void GasAutoRefill();
  /// Opens the premix fill valves and restarts the per-fill pulse count.
  bool GasFill();
  /// Partial gas replacement.
  void GasPartialRefill();
  /// Opens the pump and premix valves for 2 s, then closes every valve.
  void GasFilterPress();
  /// Opens the pump-out valves.
  bool GasPumpout();
  /// Emergency halt: stops the run, the pulse generator and the enable line.
  void Halt();
  /// Applies the high-repetition-rate regime of the model.
  void HighRepSetup();
  /// Derives the charging-voltage window and set-point of the model and gas.
  void HiVoltSet();
  /// Charging-supply test; returns the read-back voltage, kV.
  float HVTest();
  /// Writes the charge-mode line.
  void Immediate(int16_t mChMode);
  /// Starts a trigger test with the charging voltage at 0 and charge mode on.
  bool InTrigDCTest();
  /// Counts trigger pulses on counter 1 for 2 s; returns the rate, Hz.
  int32_t InTrigMes();
  /// Starts a trigger test with the charging voltage at 0.
  bool InTrigTest();
  /// Ends a trigger test.
  void InTrigOff();
  /// Loads every limit of the selected model and gas.
  void LaserData();
  /// Fills the host list with the models.
  void GetLaserList(ListControl& LaserList);
  /// Fills the host list with the gases the selected model offers.
  void GetGasList(ListControl& GasList);
  /// Puts a running laser into standby.
  void LaserPause(bool Disabled);
  /// Resumes firing from standby.
  void LaserRestart(bool Disabled);
  /// Fires the laser until stopped; mTrigMode < 0 keeps TrigMode.
  void LaserRun(int16_t mTrigMode = -1);
  /// Asks the run loop to stop.
  void LaserStop();
  /// Selects continuous operation (no pulse budget).
  void MaxContinue();
  /// Asks the operator for the pulse budget; returns it or "CONTINUOUS".
  std::string MaxNumSet();
  /// Applies a motor mode to the motor lines.
  bool Motor(int16_t MotorMode);
  /// Stops the motor.
  void MotorOff();
  /// Starts the motor at the level of the current rate.
  bool MotorOn();
  /// Runs the motor at its slow speed.
  void MotorSlow();
  /// Runs the motor at its medium speed.
  void MotorMedium();
  /// Runs the motor at its fast speed.
  void MotorFast();
  /// Starts the motor for the current rate.
  bool MotorStart();
  /// Steps the motor speed level to suit a rate, Hz.
  void MotorSet(int32_t ReprateSet);
  /// Measures the motor speed, rpm (-1.0 when no measurement is complete).
  double MotorRpmMes();
  /// Drive voltage (or speed level) for a rate, Hz.
  float MotorR2V(int32_t ReprateSet);
  /// Switches the motor voltage line.
  void MotorVOn(int16_t MotorOnState);
  /// Reads the motor drive monitor; returns volts x 5.25.
  float MotorVMes();
  /// Writes the motor drive voltage mVolt, V; a value <= 0 is written as 0 and mVolt becomes 0.
  bool MotorVSet(float& mVolt);
  /// Ramps the motor drive to the voltage of a rate, Hz.
  void MotorVStart(int32_t mReprate);
  /// Optics service, first half: pump out and fill helium.
  bool OpticsSevStart();
  /// Optics service, second half: pump out and refill the gas.
  bool OpticsSevFinish();
  /// Writes a whole valve pattern and raises ValveStatus.
  bool OpenValves(int16_t mValveState);
  /// Opens every valve.
  void OpenAll();
  /// Opens the fill valves.
  void OpenFill();
  /// Opens the helium valve.
  void OpenHelium();
  /// Opens the main valve.
  void OpenMain();
  /// Opens the premix valve.
  void OpenPremix();
  /// Opens the pump valve.
  void OpenPump();
  /// Opens the vacuum-pump valve.
  void OpenVacPump();
  /// Fills helium into the chamber.
  void HeliumFill();
  /// Fills the helium line.
  void HeliumLineFill();
  /// Chooses modal boxes (true) or LaserMessenger events (false).
  void PopupSet(bool PopupSetting);
  /// True when the 12 V supply reads at least 10 V.
  bool PowerOn();
  /// Fills premix into the chamber.
  void PremixFill();
  /// Pumps out the premix line.
  void PremixLinePump();
  /// Measures the gas pressure (in Punits units), smoothed over four readings.
  float PressMes();
  /// Starts the pulse generator at RepeatRate, Hz.
  void Pulse(int32_t RepeatRate);
  /// Takes counter 0 out of pulse-generator mode.
  void PulseOFF();
  /// Resets the pulse generator and returns counter 0 to counting.
  void PulseReset();
  /// Pumps the chamber out.
  void Pumpout();
  /// Asks the operator for a new repetition rate.
  bool ReprateSet();
  /// Switches the enable line and valve-port line 7 off.
  void Reset();
  /// Selects the charge mode.
  void SetChargeMode(int16_t mChMode);
  /// Loads the fill pressures, pump-out times and gas texts.
  void SetFillPress();
  /// Takes the host's model and gas choice, stores it and reloads the model.
  void SetLaserAndGasType(ListControl& GasList, ListControl& LaserList);
  /// Selects laser standby.
  void SetLaserStandby(int16_t mLaserStandby);
  /// Selects the card at a position of the device list.
  bool SetPCIcard(int16_t lstDeviceIndex);
  /// Selects the trigger mode (0 internal, 1 external).
  void SetTriggerMode(int16_t mTrigMode);
  /// Sets the energy or voltage set-point from a 0..100 slider; returns it as text.
  std::string Slider_to_EV(float SetValue);
  /// Lists the driver's devices, opens the first and puts the laser in its safe state.
  bool StandardCard();
  /// Evaluates the power-OK and interlock bits of the last input byte.
  void StateTest1711();
  /// Reads the digital input port into state.
  bool status();
  /// Fan control with a dead band of dT around TempSet, degC.
  bool TempControl(float dT);
  /// Measures the gas temperature, degC, smoothed over four readings.
  float TempMes();
  /// True when TStr occurs in DStr (or DStr is empty).
  bool TestStr(const std::string& DStr, const std::string& TStr);
  /// Measures and returns the filament voltage, V.
  float ThyratronMes();
  /// Ends a running warm-up.
  void ThySkip();
  /// Switches the thyratron standby line.
  bool ThyStandbySet(int16_t StandbyState);
  /// Thyratron warm-up countdown of ThyTime seconds; false when the 12 V supply was lost.
  bool ThyWarmup(float WarmTime);
  /// Reads the charging voltage, kV.
  float VoltageMes();
  /// Sets the charging-voltage output to 0 V.
  void VoltageOff();
  /// Programs the charging voltage, kV.
  void VoltageSet(float mVoltSet);
  /// Measures the 12 V supply, V.
  float VoltTest12();
  /// Measures the high-voltage programming test voltage.
  float VprogTest();
  /// Waits WaitTime seconds, yielding to the host on every pass.
  void Waiting(double WaitTime);

 private:
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
  using Tags = detail::DriverTags;
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
  bool cardSelected() const { return PCIcard != 0; }
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
  bool switchingOff() const { return card_.switchOffDepth > 0; }
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
  bool runEstimates() const { return CountDisabled || run_.estimating; }
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
  float pollPressure(float limit, detail::PollStop stop, float threshold, bool withTemperature);

  HostServices& host_;
  Events* events_ = nullptr;
  Clock* clock_ = nullptr;

  // Private state, one small struct per owner (see detail/state.hpp).
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

}  // namespace morvand
