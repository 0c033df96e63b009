#pragma once
/// The controller's 87 public properties, in table order, with their initial values.
/// Each is a plain stored value: the host reads and writes it with no validation and no side
/// effect. This list is the single source of truth for the Properties struct and the property
/// table of reflection.hpp.

#include <cstdint>
#include <string>

/// MORVAND_PROPERTIES(X) expands X(type, name, initial value, description) once per property.
#define MORVAND_PROPERTIES(MORVAND_PROPERTY)                                                       \
  MORVAND_PROPERTY(bool, ListDeviceFlag, false, "storage for the host; no operation uses it")      \
  MORVAND_PROPERTY(int16_t, LaserStatus, 0, "storage for the host; no operation uses it")          \
  MORVAND_PROPERTY(std::string, LaserMessage, {}, "storage for the host; no operation uses it")    \
  MORVAND_PROPERTY(int16_t, ValveState, 0, "valve bit pattern last written to the valve port")     \
  MORVAND_PROPERTY(std::string, ValveString, {}, "text naming the open valves")                    \
  MORVAND_PROPERTY(float, Energy, 0.0f, "last measured pulse energy")                              \
  MORVAND_PROPERTY(float, ExtEnergy, 0.0f, "storage for the host; no operation uses it")           \
  MORVAND_PROPERTY(float, SetEnergy, 0.0f, "energy set-point")                                     \
  MORVAND_PROPERTY(float, Pressure, 0.0f, "last gas pressure, in the unit chosen by Punits")       \
  MORVAND_PROPERTY(float, HVoltage, 0.0f, "last high-voltage read-back")                           \
  MORVAND_PROPERTY(int32_t, RepRate, 0, "repetition-rate set-point, Hz")                           \
  MORVAND_PROPERTY(int32_t, RepRateOld, 0, "rate of the pulse train last started")                 \
  MORVAND_PROPERTY(int32_t, RepRateTest, 0, "storage for the host; no operation uses it")          \
  MORVAND_PROPERTY(int32_t, RepRateMV, 0, "rate for which the motor voltage was last set")         \
  MORVAND_PROPERTY(int32_t, RepRate0, 0, "storage for the host; no operation uses it")             \
  MORVAND_PROPERTY(int32_t, MaxNum, 0, "pulse budget of a run")                                    \
  MORVAND_PROPERTY(                                                                                \
      int16_t, mode, 0,                                                                            \
      "set-point mode: 1 the set-point is an energy, any other value a charging voltage")          \
  MORVAND_PROPERTY(int16_t, state, 0, "last digital input byte read")                              \
  MORVAND_PROPERTY(float, VoltSet, 0.0f, "high-voltage set-point")                                 \
  MORVAND_PROPERTY(int32_t, PulseNum, 0, "pulses of the current run")                              \
  MORVAND_PROPERTY(int32_t, CounterTotal, 0, "pulse total kept by the run loop")                   \
  MORVAND_PROPERTY(int32_t, CumTotalPulses, 0, "lifetime pulse count, persisted")                  \
  MORVAND_PROPERTY(int32_t, PulsesThisFill, 0, "pulses since the last gas fill, persisted")        \
  MORVAND_PROPERTY(int32_t, Punits, 0, "pressure unit selector")                                   \
  MORVAND_PROPERTY(float, temp, 0.0f, "last gas temperature")                                      \
  MORVAND_PROPERTY(float, Sigma, 0.0f,                                                             \
                   "spread of the recent pulse energies in percent of their mean")                 \
  MORVAND_PROPERTY(float, ExtSigma, 0.0f, "storage for the host; no operation uses it")            \
  MORVAND_PROPERTY(float, TempSet, 0.0f, "temperature set-point, persisted")                       \
  MORVAND_PROPERTY(int16_t, flag2, 0, "stop request: 1 asks the run loop to stop")                 \
  MORVAND_PROPERTY(int16_t, ChMode, 0, "charge mode")                                              \
  MORVAND_PROPERTY(int16_t, ChModeOld, 0, "charge mode last put on the line")                      \
  MORVAND_PROPERTY(int16_t, TrigMode, 0, "trigger mode")                                           \
  MORVAND_PROPERTY(int16_t, LaserTypeFlag, 0, "model code of the selected laser model, persisted") \
  MORVAND_PROPERTY(int16_t, GasFlag, 0, "gas selection, persisted")                                \
  MORVAND_PROPERTY(float, EoffSet, 0.0f, "energy offset of the model")                             \
  MORVAND_PROPERTY(float, EoffSet0, 0.0f, "second energy offset of the model")                     \
  MORVAND_PROPERTY(float, MaxEnergyVal, 0.0f, "top of the energy scale")                           \
  MORVAND_PROPERTY(float, ThyTime, 0.0f, "thyratron warm-up time, s")                              \
  MORVAND_PROPERTY(float, HiVoltMax, 0.0f, "highest charging voltage")                             \
  MORVAND_PROPERTY(float, HiVoltMin, 0.0f, "lowest charging voltage")                              \
  MORVAND_PROPERTY(int16_t, Fanmode, 0, "storage for the host; no operation uses it")              \
  MORVAND_PROPERTY(                                                                                \
      int16_t, PCIcard, 0,                                                                         \
      "selected card: 0 none, 1710, 1711 or 1712 the card model, -1 the device listing failed")    \
  MORVAND_PROPERTY(float, ExtRepRate, 0.0f, "measured external trigger rate, Hz")                  \
  MORVAND_PROPERTY(int32_t, ExtRepRate0, 0, "storage for the host; no operation uses it")          \
  MORVAND_PROPERTY(int32_t, ExtRepRate1, 0, "external-rate measurement value")                     \
  MORVAND_PROPERTY(int32_t, ExtRepRate2, 0, "external-rate measurement value")                     \
  MORVAND_PROPERTY(bool, CountDisabled, false, "the pulse counter is busy as pulse generator")     \
  MORVAND_PROPERTY(double, CountPeriod, 1.0,                                                       \
                   "shortest interval, s, between two count-rate updates")                         \
  MORVAND_PROPERTY(std::string, GasText1, {},                                                      \
                   "fill description of the selected gas, for the host")                           \
  MORVAND_PROPERTY(std::string, GasText2, {}, "operation title of the selected gas, for the host") \
  MORVAND_PROPERTY(std::string, PanelText1, {}, "first panel title text of the model")             \
  MORVAND_PROPERTY(std::string, PanelText2, {}, "second panel title text of the model")            \
  MORVAND_PROPERTY(float, HighEnergy, 0.0f, "storage for the host; no operation uses it")          \
  MORVAND_PROPERTY(float, LowEnergy, 0.0f, "storage for the host; no operation uses it")           \
  MORVAND_PROPERTY(int16_t, mmode, 0, "motor mode last applied")                                   \
  MORVAND_PROPERTY(bool, AutoMotor, false, "storage for the host; no operation uses it")           \
  MORVAND_PROPERTY(bool, ThyState, false, "thyratron warm-up in progress")                         \
  MORVAND_PROPERTY(int16_t, ThyStandby, 0, "thyratron standby state")                              \
  MORVAND_PROPERTY(int16_t, ThyStandby0, 0, "storage for the host; no operation uses it")          \
  MORVAND_PROPERTY(bool, PowerOK, false, "power-OK input was active at the last evaluation")       \
  MORVAND_PROPERTY(bool, InterlockActive, false,                                                   \
                   "interlock input was active at the last evaluation")                            \
  MORVAND_PROPERTY(bool, LaserStandby, false, "laser standby selected")                            \
  MORVAND_PROPERTY(bool, ExtStartFlag, false, "external start input state")                        \
  MORVAND_PROPERTY(float, ThyLow, 0.0f, "lower thyratron/filament voltage limit")                  \
  MORVAND_PROPERTY(int16_t, List2Max, 0, "length of the model list last filled")                   \
  MORVAND_PROPERTY(bool, PopupMessage, false,                                                      \
                   "True: operator messages are modal boxes; False: LaserMessenger events")        \
  MORVAND_PROPERTY(bool, LowCPU, true, "True: waits sleep 1 ms per pass of their loop")            \
  MORVAND_PROPERTY(                                                                                \
      bool, EH_sys, true,                                                                          \
      "system variant switch read by LaserData, the motor operations and ThyStandbySet")           \
  MORVAND_PROPERTY(float, Voffset, 0.0f, "motor voltage conversion offset")                        \
  MORVAND_PROPERTY(float, Vfactor, 0.0f, "motor voltage conversion factor")                        \
  MORVAND_PROPERTY(float, VminMotor, 0.0f, "lowest motor voltage")                                 \
  MORVAND_PROPERTY(float, VoltMotor, 0.0f, "storage for the host; no operation uses it")           \
  MORVAND_PROPERTY(float, VoltMotorOld, 0.0f, "motor voltage last set")                            \
  MORVAND_PROPERTY(float, VmesMotor, 0.0f, "measured motor voltage")                               \
  MORVAND_PROPERTY(double, MotorRPM, 0.0, "measured motor speed")                                  \
  MORVAND_PROPERTY(double, MTmaxRPM, 0.0, "storage for the host; no operation uses it")            \
  MORVAND_PROPERTY(double, MTminRPM, 0.0, "storage for the host; no operation uses it")            \
  MORVAND_PROPERTY(int32_t, MotorCount, 0, "motor speed measurement value")                        \
  MORVAND_PROPERTY(int32_t, MotorCT, 0, "motor speed measurement value")                           \
  MORVAND_PROPERTY(int32_t, MotorCN, 0, "motor speed measurement parameter of the model")          \
  MORVAND_PROPERTY(int32_t, MotorState, 0, "motor speed measurement state")                        \
  MORVAND_PROPERTY(bool, MotorEnabled, false, "motor voltage line is on")                          \
  MORVAND_PROPERTY(double, TimeRPS, 0.0, "motor speed timing value")                               \
  MORVAND_PROPERTY(double, TimeRPS0, 0.0, "motor speed timing value")                              \
  MORVAND_PROPERTY(double, TimeRPS1, 0.0, "motor speed timing value")                              \
  MORVAND_PROPERTY(double, TimeStandby, 0.0,                                                       \
                   "time (myTimer seconds) when the thyratron standby state ends")                 \
  MORVAND_PROPERTY(double, StandbyInterval, 0.0, "standby interval of the model")

namespace morvand {

/// The public properties of the controller.
struct Properties {
#define MORVAND_DECLARE_PROPERTY(type, name, init, description) type name = init;
  MORVAND_PROPERTIES(MORVAND_DECLARE_PROPERTY)
#undef MORVAND_DECLARE_PROPERTY
};

}  // namespace morvand
