#pragma once
/// The controller class: one object controls one laser through the card context of its thread.

#include <cstdint>
#include <memory>
#include <string>

#include "morvand/clock.hpp"
#include "morvand/errors.hpp"
#include "morvand/host.hpp"
#include "morvand/properties.hpp"

namespace morvand {

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

  // The methods; MORVAND_METHODS below gives each one's description.
  double myTimer();
  void CloseAllValves();
  void AllClose();
  void AllOff();
  void Counter0Read();
  void Counter0Start();
  void Counter1Read();
  void Counter1Start();
  void Counter2Read();
  void Counter2Start();
  bool CounterRead(int16_t CounterNum);
  bool CounterFreqRead(int16_t CounterNum);
  void CounterStart(int16_t CounterNum);
  void CounterStop(int16_t CounterNum);
  bool DCmotorOn(int16_t MotorMode);
  void Delay(double delaytime);
  void Enable(bool EnableOn);
  float EnergyMes();
  float EV_to_Slider();
  void MorvandStatus(bool CheckState);
  bool ExtRepRateMes();
  float ExtRepRateMes1();
  bool ExtStart();
  bool Fan(bool FanOn);
  void FilamentCheck();
  void FilamentVolts();
  void FillLaser();
  void GasAutoRefill();
  bool GasFill();
  void GasPartialRefill();
  void GasFilterPress();
  bool GasPumpout();
  void Halt();
  void HighRepSetup();
  void HiVoltSet();
  float HVTest();
  void Immediate(int16_t mChMode);
  bool InTrigDCTest();
  int32_t InTrigMes();
  bool InTrigTest();
  void InTrigOff();
  void LaserData();
  void GetLaserList(ListControl& LaserList);
  void GetGasList(ListControl& GasList);
  void LaserPause(bool Disabled);
  void LaserRestart(bool Disabled);
  void LaserRun(int16_t mTrigMode = -1);
  void LaserStop();
  void MaxContinue();
  std::string MaxNumSet();
  bool Motor(int16_t MotorMode);
  void MotorOff();
  bool MotorOn();
  void MotorSlow();
  void MotorMedium();
  void MotorFast();
  bool MotorStart();
  void MotorSet(int32_t ReprateSet);
  double MotorRpmMes();
  float MotorR2V(int32_t ReprateSet);
  void MotorVOn(int16_t MotorOnState);
  float MotorVMes();
  bool MotorVSet(float& mVolt);
  void MotorVStart(int32_t mReprate);
  bool OpticsSevStart();
  bool OpticsSevFinish();
  bool OpenValves(int16_t mValveState);
  void OpenAll();
  void OpenFill();
  void OpenHelium();
  void OpenMain();
  void OpenPremix();
  void OpenPump();
  void OpenVacPump();
  void HeliumFill();
  void HeliumLineFill();
  void PopupSet(bool PopupSetting);
  bool PowerOn();
  void PremixFill();
  void PremixLinePump();
  float PressMes();
  void Pulse(int32_t RepeatRate);
  void PulseOFF();
  void PulseReset();
  void Pumpout();
  bool ReprateSet();
  void Reset();
  void SetChargeMode(int16_t mChMode);
  void SetFillPress();
  void SetLaserAndGasType(ListControl& GasList, ListControl& LaserList);
  void SetLaserStandby(int16_t mLaserStandby);
  bool SetPCIcard(int16_t lstDeviceIndex);
  void SetTriggerMode(int16_t mTrigMode);
  std::string Slider_to_EV(float SetValue);
  bool StandardCard();
  void StateTest1711();
  bool status();
  bool TempControl(float dT);
  float TempMes();
  bool TestStr(const std::string& DStr, const std::string& TStr);
  float ThyratronMes();
  void ThySkip();
  bool ThyStandbySet(int16_t StandbyState);
  bool ThyWarmup(float WarmTime);
  float VoltageMes();
  void VoltageOff();
  void VoltageSet(float mVoltSet);
  float VoltTest12();
  float VprogTest();
  void Waiting(double WaitTime);

 private:
  // Private state and operations (src/controller/state.hpp), reached by the library's
  // code and its tests through Internals.
  struct State;
  friend struct Internals;
  std::unique_ptr<State> state_;
};

}  // namespace morvand

/// The 110 methods in table order: MORVAND_METHODS(X) expands X(name, argument names, default
/// of the last argument as text ("" for none), one-line description) once per method. The
/// method table of reflection.hpp takes each member's address from it, so the argument and
/// result types come from the declarations above and a misspelt name does not compile.
#define MORVAND_METHODS(MORVAND_METHOD)                                                            \
  MORVAND_METHOD(myTimer, "", "", "Current time, s (monotonic, millisecond resolution).")          \
  MORVAND_METHOD(CloseAllValves, "", "", "Closes every valve (valve pattern 0).")                  \
  MORVAND_METHOD(AllClose, "", "", "Switches all eight lines of the valve port off.")              \
  MORVAND_METHOD(AllOff, "", "", "Switches all eight control lines of port 0 off.")                \
  MORVAND_METHOD(Counter0Read, "", "", "Reads counter 0.")                                         \
  MORVAND_METHOD(Counter0Start, "", "", "Starts event counting on counter 0.")                     \
  MORVAND_METHOD(Counter1Read, "", "",                                                             \
                 "Reads counter 1 and keeps its count for the trigger-rate measurements.")         \
  MORVAND_METHOD(Counter1Start, "", "", "Starts event counting on counter 1.")                     \
  MORVAND_METHOD(Counter2Read, "", "", "Reads counter 2.")                                         \
  MORVAND_METHOD(Counter2Start, "", "", "Starts event counting on counter 2.")                     \
  MORVAND_METHOD(CounterRead, "CounterNum", "",                                                    \
                 "Reads a counter; true when a new count rate was computed.")                      \
  MORVAND_METHOD(CounterFreqRead, "CounterNum", "",                                                \
                 "Computes a count rate from the stored counts without reading the card.")         \
  MORVAND_METHOD(CounterStart, "CounterNum", "",                                                   \
                 "Starts event counting on a counter and resets its rate state.")                  \
  MORVAND_METHOD(CounterStop, "CounterNum", "", "Resets a counter channel and marks it inactive.") \
  MORVAND_METHOD(DCmotorOn, "MotorMode", "",                                                       \
                 "Applies a digital motor level, keeping the charge-mode line.")                   \
  MORVAND_METHOD(Delay, "delaytime", "",                                                           \
                 "Waits delaytime seconds while yielding to the host (as Waiting).")               \
  MORVAND_METHOD(Enable, "EnableOn", "", "Sets or clears the high-voltage enable line.")           \
  MORVAND_METHOD(EnergyMes, "", "",                                                                \
                 "Measures one pulse energy; returns the mean energy (0 for a rejected sample, "   \
                 "-1 on a driver failure).")                                                       \
  MORVAND_METHOD(EV_to_Slider, "", "",                                                             \
                 "Position of the energy or voltage set-point on the 0..100 slider.")              \
  MORVAND_METHOD(MorvandStatus, "CheckState", "",                                                  \
                 "Status poll: measurements, supply test, pressure problems, warm-up when due.")   \
  MORVAND_METHOD(ExtRepRateMes, "", "",                                                            \
                 "Measures the external trigger rate on the trigger counter.")                     \
  MORVAND_METHOD(ExtRepRateMes1, "", "", "Measures the external trigger rate on counter 1, Hz.")   \
  MORVAND_METHOD(ExtStart, "", "", "State of the external start input (with hysteresis).")         \
  MORVAND_METHOD(Fan, "FanOn", "", "Switches the fan line (low when FanOn).")                      \
  MORVAND_METHOD(FilamentCheck, "", "",                                                            \
                 "Measures the filament voltage and reports it when outside its band.")            \
  MORVAND_METHOD(FilamentVolts, "", "", "Reads the thyratron filament voltage.")                   \
  MORVAND_METHOD(FillLaser, "", "", "Fills the chamber with premix up to the model limit.")        \
  MORVAND_METHOD(GasAutoRefill, "", "",                                                            \
                 "Automatic gas replacement: pump-out and fill cycles to the fill target.")        \
  MORVAND_METHOD(GasFill, "", "",                                                                  \
                 "Opens the premix fill valves and restarts the per-fill pulse count.")            \
  MORVAND_METHOD(GasPartialRefill, "", "", "Partial gas replacement.")                             \
  MORVAND_METHOD(GasFilterPress, "", "",                                                           \
                 "Opens the pump and premix valves for 2 s, then closes every valve.")             \
  MORVAND_METHOD(GasPumpout, "", "", "Opens the pump-out valves.")                                 \
  MORVAND_METHOD(Halt, "", "",                                                                     \
                 "Emergency halt: stops the run, the pulse generator and the enable line.")        \
  MORVAND_METHOD(HighRepSetup, "", "", "Applies the high-repetition-rate regime of the model.")    \
  MORVAND_METHOD(HiVoltSet, "", "",                                                                \
                 "Derives the charging-voltage window and set-point of the model and gas.")        \
  MORVAND_METHOD(HVTest, "", "", "Charging-supply test; returns the read-back voltage, kV.")       \
  MORVAND_METHOD(Immediate, "mChMode", "", "Writes the charge-mode line.")                         \
  MORVAND_METHOD(InTrigDCTest, "", "",                                                             \
                 "Starts a trigger test with the charging voltage at 0 and charge mode on.")       \
  MORVAND_METHOD(InTrigMes, "", "",                                                                \
                 "Counts trigger pulses on counter 1 for 2 s; returns the rate, Hz.")              \
  MORVAND_METHOD(InTrigTest, "", "", "Starts a trigger test with the charging voltage at 0.")      \
  MORVAND_METHOD(InTrigOff, "", "", "Ends a trigger test.")                                        \
  MORVAND_METHOD(LaserData, "", "", "Loads every limit of the selected model and gas.")            \
  MORVAND_METHOD(GetLaserList, "LaserList", "", "Fills the host list with the models.")            \
  MORVAND_METHOD(GetGasList, "GasList", "",                                                        \
                 "Fills the host list with the gases the selected model offers.")                  \
  MORVAND_METHOD(LaserPause, "Disabled", "", "Puts a running laser into standby.")                 \
  MORVAND_METHOD(LaserRestart, "Disabled", "", "Resumes firing from standby.")                     \
  MORVAND_METHOD(LaserRun, "mTrigMode", "-1",                                                      \
                 "Fires the laser until stopped; mTrigMode < 0 keeps TrigMode.")                   \
  MORVAND_METHOD(LaserStop, "", "", "Asks the run loop to stop.")                                  \
  MORVAND_METHOD(MaxContinue, "", "", "Selects continuous operation (no pulse budget).")           \
  MORVAND_METHOD(MaxNumSet, "", "",                                                                \
                 "Asks the operator for the pulse budget; returns it or \"CONTINUOUS\".")          \
  MORVAND_METHOD(Motor, "MotorMode", "", "Applies a motor mode to the motor lines.")               \
  MORVAND_METHOD(MotorOff, "", "", "Stops the motor.")                                             \
  MORVAND_METHOD(MotorOn, "", "", "Starts the motor at the level of the current rate.")            \
  MORVAND_METHOD(MotorSlow, "", "", "Runs the motor at its slow speed.")                           \
  MORVAND_METHOD(MotorMedium, "", "", "Runs the motor at its medium speed.")                       \
  MORVAND_METHOD(MotorFast, "", "", "Runs the motor at its fast speed.")                           \
  MORVAND_METHOD(MotorStart, "", "", "Starts the motor for the current rate.")                     \
  MORVAND_METHOD(MotorSet, "ReprateSet", "", "Steps the motor speed level to suit a rate, Hz.")    \
  MORVAND_METHOD(MotorRpmMes, "", "",                                                              \
                 "Measures the motor speed, rpm (-1.0 when no measurement is complete).")          \
  MORVAND_METHOD(MotorR2V, "ReprateSet", "", "Drive voltage (or speed level) for a rate, Hz.")     \
  MORVAND_METHOD(MotorVOn, "MotorOnState", "", "Switches the motor voltage line.")                 \
  MORVAND_METHOD(MotorVMes, "", "", "Reads the motor drive monitor; returns volts x 5.25.")        \
  MORVAND_METHOD(MotorVSet, "mVolt", "",                                                           \
                 "Writes the motor drive voltage mVolt, V; a value <= 0 is written as 0 and "      \
                 "mVolt becomes 0.")                                                               \
  MORVAND_METHOD(MotorVStart, "mReprate", "",                                                      \
                 "Ramps the motor drive to the voltage of a rate, Hz.")                            \
  MORVAND_METHOD(OpticsSevStart, "", "", "Optics service, first half: pump out and fill helium.")  \
  MORVAND_METHOD(OpticsSevFinish, "", "",                                                          \
                 "Optics service, second half: pump out and refill the gas.")                      \
  MORVAND_METHOD(OpenValves, "mValveState", "",                                                    \
                 "Writes a whole valve pattern and raises ValveStatus.")                           \
  MORVAND_METHOD(OpenAll, "", "", "Opens every valve.")                                            \
  MORVAND_METHOD(OpenFill, "", "", "Opens the fill valves.")                                       \
  MORVAND_METHOD(OpenHelium, "", "", "Opens the helium valve.")                                    \
  MORVAND_METHOD(OpenMain, "", "", "Opens the main valve.")                                        \
  MORVAND_METHOD(OpenPremix, "", "", "Opens the premix valve.")                                    \
  MORVAND_METHOD(OpenPump, "", "", "Opens the pump valve.")                                        \
  MORVAND_METHOD(OpenVacPump, "", "", "Opens the vacuum-pump valve.")                              \
  MORVAND_METHOD(HeliumFill, "", "", "Fills helium into the chamber.")                             \
  MORVAND_METHOD(HeliumLineFill, "", "", "Fills the helium line.")                                 \
  MORVAND_METHOD(PopupSet, "PopupSetting", "",                                                     \
                 "Chooses modal boxes (true) or LaserMessenger events (false).")                   \
  MORVAND_METHOD(PowerOn, "", "", "True when the 12 V supply reads at least 10 V.")                \
  MORVAND_METHOD(PremixFill, "", "", "Fills premix into the chamber.")                             \
  MORVAND_METHOD(PremixLinePump, "", "", "Pumps out the premix line.")                             \
  MORVAND_METHOD(PressMes, "", "",                                                                 \
                 "Measures the gas pressure (in Punits units), smoothed over four readings.")      \
  MORVAND_METHOD(Pulse, "RepeatRate", "", "Starts the pulse generator at RepeatRate, Hz.")         \
  MORVAND_METHOD(PulseOFF, "", "", "Takes counter 0 out of pulse-generator mode.")                 \
  MORVAND_METHOD(PulseReset, "", "",                                                               \
                 "Resets the pulse generator and returns counter 0 to counting.")                  \
  MORVAND_METHOD(Pumpout, "", "", "Pumps the chamber out.")                                        \
  MORVAND_METHOD(ReprateSet, "", "", "Asks the operator for a new repetition rate.")               \
  MORVAND_METHOD(Reset, "", "", "Switches the enable line and valve-port line 7 off.")             \
  MORVAND_METHOD(SetChargeMode, "mChMode", "", "Selects the charge mode.")                         \
  MORVAND_METHOD(SetFillPress, "", "", "Loads the fill pressures, pump-out times and gas texts.")  \
  MORVAND_METHOD(SetLaserAndGasType, "GasList LaserList", "",                                      \
                 "Takes the host's model and gas choice, stores it and reloads the model.")        \
  MORVAND_METHOD(SetLaserStandby, "mLaserStandby", "", "Selects laser standby.")                   \
  MORVAND_METHOD(SetPCIcard, "lstDeviceIndex", "",                                                 \
                 "Selects the card at a position of the device list.")                             \
  MORVAND_METHOD(SetTriggerMode, "mTrigMode", "",                                                  \
                 "Selects the trigger mode (0 internal, 1 external).")                             \
  MORVAND_METHOD(Slider_to_EV, "SetValue", "",                                                     \
                 "Sets the energy or voltage set-point from a 0..100 slider; returns it as text.") \
  MORVAND_METHOD(                                                                                  \
      StandardCard, "", "",                                                                        \
      "Lists the driver's devices, opens the first and puts the laser in its safe state.")         \
  MORVAND_METHOD(StateTest1711, "", "",                                                            \
                 "Evaluates the power-OK and interlock bits of the last input byte.")              \
  MORVAND_METHOD(status, "", "", "Reads the digital input port into state.")                       \
  MORVAND_METHOD(TempControl, "dT", "",                                                            \
                 "Fan control with a dead band of dT around TempSet, degC.")                       \
  MORVAND_METHOD(TempMes, "", "",                                                                  \
                 "Measures the gas temperature, degC, smoothed over four readings.")               \
  MORVAND_METHOD(TestStr, "DStr TStr", "", "True when TStr occurs in DStr (or DStr is empty).")    \
  MORVAND_METHOD(ThyratronMes, "", "", "Measures and returns the filament voltage, V.")            \
  MORVAND_METHOD(ThySkip, "", "", "Ends a running warm-up.")                                       \
  MORVAND_METHOD(ThyStandbySet, "StandbyState", "", "Switches the thyratron standby line.")        \
  MORVAND_METHOD(                                                                                  \
      ThyWarmup, "WarmTime", "",                                                                   \
      "Thyratron warm-up countdown of ThyTime seconds; false when the 12 V supply was lost.")      \
  MORVAND_METHOD(VoltageMes, "", "", "Reads the charging voltage, kV.")                            \
  MORVAND_METHOD(VoltageOff, "", "", "Sets the charging-voltage output to 0 V.")                   \
  MORVAND_METHOD(VoltageSet, "mVoltSet", "", "Programs the charging voltage, kV.")                 \
  MORVAND_METHOD(VoltTest12, "", "", "Measures the 12 V supply, V.")                               \
  MORVAND_METHOD(VprogTest, "", "", "Measures the high-voltage programming test voltage.")         \
  MORVAND_METHOD(Waiting, "WaitTime", "",                                                          \
                 "Waits WaitTime seconds, yielding to the host on every pass.")
