#pragma once
// How the laser is wired to the card: digital ports and lines, analog channels, counters,
// valve bits and the supply threshold. Every subsystem names its hardware from here.

#include <cstdint>

namespace morvand::wiring {

// Digital ports.
inline constexpr int16_t kControlPort = 0;  ///< control lines
inline constexpr int16_t kValvePort = 1;    ///< one line per valve
inline constexpr int16_t kAllLines = 0xFF;

// Lines of the control port.
inline constexpr int16_t kStandbyLine = 0x01;     ///< thyratron standby
inline constexpr int16_t kChargeModeLine = 0x02;  ///< charge mode
inline constexpr int16_t kMotorLine = 0x04;       ///< motor on
inline constexpr int16_t kFanLine = 0x10;         ///< fan, active low
inline constexpr int16_t kLine7 = 0x80;           ///< high-voltage enable (and valve-port line 7)

// Valve bits of the valve port.
inline constexpr int16_t kValvePump = 0x01;
inline constexpr int16_t kValvePremix = 0x02;
inline constexpr int16_t kValveHelium = 0x04;
inline constexpr int16_t kValveMain = 0x08;
inline constexpr int16_t kValveVacuum = 0x10;

// Digital inputs.
inline constexpr int16_t kTachoInputBit = 0x10;  ///< tachometer edges, input bit 4

// Analog inputs.
inline constexpr int16_t kGaugeChannel = 0;
inline constexpr int16_t kEnergyMonitorChannel = 1;
inline constexpr int16_t kHvReadBackChannel = 2;
inline constexpr int16_t kFilamentChannel = 3;
inline constexpr int16_t kTemperatureChannel = 4;
inline constexpr int16_t kMotorMonitorChannel = 6;
inline constexpr int16_t kHvProgrammingTestChannel = 7;
inline constexpr int16_t kSupplyTestChannel = 8;
inline constexpr int16_t kExtStartChannel = 9;

// Analog outputs, 0 to 5 V.
inline constexpr int16_t kHvSetPointOutput = 0;
inline constexpr int16_t kMotorDriveOutput = 1;

// Counters.
inline constexpr int16_t kGeneratorCounter = 0;  ///< fires the laser in internal trigger
inline constexpr int16_t kTachoCounter = 1;      ///< tachometer pulses where the card counts them

/// V: the 12 V supply is there at this reading and above.
inline constexpr float kSupplyPresent = 10.0f;

}  // namespace morvand::wiring
