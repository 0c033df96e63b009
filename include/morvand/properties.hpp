#pragma once
/// The controller's 87 public properties, in table order, with their initial values.
/// Each is a plain stored value: the host reads and writes it with no validation and no side
/// effect. This list is the single source of truth for the Properties struct and the property
/// table of reflection.hpp.

#include <cstdint>
#include <string>

/// MORVAND_PROPERTIES(X) expands X(type, name, initial value) once per property.
#define MORVAND_PROPERTIES(MORVAND_PROPERTY) \
  MORVAND_PROPERTY(bool, ListDeviceFlag, false)  /* 1 */ \
  MORVAND_PROPERTY(int16_t, LaserStatus, 0)  /* 2 */ \
  MORVAND_PROPERTY(std::string, LaserMessage, {})  /* 3 */ \
  MORVAND_PROPERTY(int16_t, ValveState, 0)  /* 4 */ \
  MORVAND_PROPERTY(std::string, ValveString, {})  /* 5 */ \
  MORVAND_PROPERTY(float, Energy, 0.0f)  /* 6 */ \
  MORVAND_PROPERTY(float, ExtEnergy, 0.0f)  /* 7 */ \
  MORVAND_PROPERTY(float, SetEnergy, 0.0f)  /* 8 */ \
  MORVAND_PROPERTY(float, Pressure, 0.0f)  /* 9 */ \
  MORVAND_PROPERTY(float, HVoltage, 0.0f)  /* 10 */ \
  MORVAND_PROPERTY(int32_t, RepRate, 0)  /* 11 */ \
  MORVAND_PROPERTY(int32_t, RepRateOld, 0)  /* 12 */ \
  MORVAND_PROPERTY(int32_t, RepRateTest, 0)  /* 13 */ \
  MORVAND_PROPERTY(int32_t, RepRateMV, 0)  /* 14 */ \
  MORVAND_PROPERTY(int32_t, RepRate0, 0)  /* 15 */ \
  MORVAND_PROPERTY(int32_t, MaxNum, 0)  /* 16 */ \
  MORVAND_PROPERTY(int16_t, mode, 0)  /* 17 */ \
  MORVAND_PROPERTY(int16_t, state, 0)  /* 18 */ \
  MORVAND_PROPERTY(float, VoltSet, 0.0f)  /* 19 */ \
  MORVAND_PROPERTY(int32_t, PulseNum, 0)  /* 20 */ \
  MORVAND_PROPERTY(int32_t, CounterTotal, 0)  /* 21 */ \
  MORVAND_PROPERTY(int32_t, CumTotalPulses, 0)  /* 22 */ \
  MORVAND_PROPERTY(int32_t, PulsesThisFill, 0)  /* 23 */ \
  MORVAND_PROPERTY(int32_t, Punits, 0)  /* 24 */ \
  MORVAND_PROPERTY(float, temp, 0.0f)  /* 25 */ \
  MORVAND_PROPERTY(float, Sigma, 0.0f)  /* 26 */ \
  MORVAND_PROPERTY(float, ExtSigma, 0.0f)  /* 27 */ \
  MORVAND_PROPERTY(float, TempSet, 0.0f)  /* 28 */ \
  MORVAND_PROPERTY(int16_t, flag2, 0)  /* 29 */ \
  MORVAND_PROPERTY(int16_t, ChMode, 0)  /* 30 */ \
  MORVAND_PROPERTY(int16_t, ChModeOld, 0)  /* 31 */ \
  MORVAND_PROPERTY(int16_t, TrigMode, 0)  /* 32 */ \
  MORVAND_PROPERTY(int16_t, LaserTypeFlag, 0)  /* 33 */ \
  MORVAND_PROPERTY(int16_t, GasFlag, 0)  /* 34 */ \
  MORVAND_PROPERTY(float, EoffSet, 0.0f)  /* 35 */ \
  MORVAND_PROPERTY(float, EoffSet0, 0.0f)  /* 36 */ \
  MORVAND_PROPERTY(float, MaxEnergyVal, 0.0f)  /* 37 */ \
  MORVAND_PROPERTY(float, ThyTime, 0.0f)  /* 38 */ \
  MORVAND_PROPERTY(float, HiVoltMax, 0.0f)  /* 39 */ \
  MORVAND_PROPERTY(float, HiVoltMin, 0.0f)  /* 40 */ \
  MORVAND_PROPERTY(int16_t, Fanmode, 0)  /* 41 */ \
  MORVAND_PROPERTY(int16_t, PCIcard, 0)  /* 42 */ \
  MORVAND_PROPERTY(float, ExtRepRate, 0.0f)  /* 43 */ \
  MORVAND_PROPERTY(int32_t, ExtRepRate0, 0)  /* 44 */ \
  MORVAND_PROPERTY(int32_t, ExtRepRate1, 0)  /* 45 */ \
  MORVAND_PROPERTY(int32_t, ExtRepRate2, 0)  /* 46 */ \
  MORVAND_PROPERTY(bool, CountDisabled, false)  /* 47 */ \
  MORVAND_PROPERTY(double, CountPeriod, 1.0)  /* 48 */ \
  MORVAND_PROPERTY(std::string, GasText1, {})  /* 49 */ \
  MORVAND_PROPERTY(std::string, GasText2, {})  /* 50 */ \
  MORVAND_PROPERTY(std::string, PanelText1, {})  /* 51 */ \
  MORVAND_PROPERTY(std::string, PanelText2, {})  /* 52 */ \
  MORVAND_PROPERTY(float, HighEnergy, 0.0f)  /* 53 */ \
  MORVAND_PROPERTY(float, LowEnergy, 0.0f)  /* 54 */ \
  MORVAND_PROPERTY(int16_t, mmode, 0)  /* 55 */ \
  MORVAND_PROPERTY(bool, AutoMotor, false)  /* 56 */ \
  MORVAND_PROPERTY(bool, ThyState, false)  /* 57 */ \
  MORVAND_PROPERTY(int16_t, ThyStandby, 0)  /* 58 */ \
  MORVAND_PROPERTY(int16_t, ThyStandby0, 0)  /* 59 */ \
  MORVAND_PROPERTY(bool, PowerOK, false)  /* 60 */ \
  MORVAND_PROPERTY(bool, InterlockActive, false)  /* 61 */ \
  MORVAND_PROPERTY(bool, LaserStandby, false)  /* 62 */ \
  MORVAND_PROPERTY(bool, ExtStartFlag, false)  /* 63 */ \
  MORVAND_PROPERTY(float, ThyLow, 0.0f)  /* 64 */ \
  MORVAND_PROPERTY(int16_t, List2Max, 0)  /* 65 */ \
  MORVAND_PROPERTY(bool, PopupMessage, false)  /* 66 */ \
  MORVAND_PROPERTY(bool, LowCPU, true)  /* 67 */ \
  MORVAND_PROPERTY(bool, EH_sys, true)  /* 68 */ \
  MORVAND_PROPERTY(float, Voffset, 0.0f)  /* 69 */ \
  MORVAND_PROPERTY(float, Vfactor, 0.0f)  /* 70 */ \
  MORVAND_PROPERTY(float, VminMotor, 0.0f)  /* 71 */ \
  MORVAND_PROPERTY(float, VoltMotor, 0.0f)  /* 72 */ \
  MORVAND_PROPERTY(float, VoltMotorOld, 0.0f)  /* 73 */ \
  MORVAND_PROPERTY(float, VmesMotor, 0.0f)  /* 74 */ \
  MORVAND_PROPERTY(double, MotorRPM, 0.0)  /* 75 */ \
  MORVAND_PROPERTY(double, MTmaxRPM, 0.0)  /* 76 */ \
  MORVAND_PROPERTY(double, MTminRPM, 0.0)  /* 77 */ \
  MORVAND_PROPERTY(int32_t, MotorCount, 0)  /* 78 */ \
  MORVAND_PROPERTY(int32_t, MotorCT, 0)  /* 79 */ \
  MORVAND_PROPERTY(int32_t, MotorCN, 0)  /* 80 */ \
  MORVAND_PROPERTY(int32_t, MotorState, 0)  /* 81 */ \
  MORVAND_PROPERTY(bool, MotorEnabled, false)  /* 82 */ \
  MORVAND_PROPERTY(double, TimeRPS, 0.0)  /* 83 */ \
  MORVAND_PROPERTY(double, TimeRPS0, 0.0)  /* 84 */ \
  MORVAND_PROPERTY(double, TimeRPS1, 0.0)  /* 85 */ \
  MORVAND_PROPERTY(double, TimeStandby, 0.0)  /* 86 */ \
  MORVAND_PROPERTY(double, StandbyInterval, 0.0)  /* 87 */

namespace morvand {

/// The public properties of the controller.
struct Properties {
#define MORVAND_DECLARE_PROPERTY(type, name, init) type name = init;
  MORVAND_PROPERTIES(MORVAND_DECLARE_PROPERTY)
#undef MORVAND_DECLARE_PROPERTY
};

}  // namespace morvand
