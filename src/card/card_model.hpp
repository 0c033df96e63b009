#pragma once
// The card models and what each one means for the controller, one row per model: the
// differences between the cards are columns here, not comparisons with a model number.

#include <cstdint>

namespace morvand::card {

/// How the motor's tachometer is read.
enum class Tachometer : uint8_t {
  None,
  InputEdges,  ///< edge timing on digital input bit 4
  Counter,     ///< the count of counter 1
};

struct CardModel {
  const char* number;      ///< found in the device name
  int16_t code;            ///< PCIcard
  int32_t repRateMin;      ///< Hz, lowest rate of the pulse generator
  int16_t extTrigCounter;  ///< counter that counts the trigger pulses
  int16_t inputPort;       ///< port of the power-OK and interlock inputs; -1: the port of the
                           ///< previous digital operation, and no such inputs
  int16_t powerOkBit;      ///< bit mask of power OK (0: none)
  int16_t interlockBit;    ///< bit mask of interlock closed (0: none)
  bool inputsOnValvePort;  ///< reading the inputs turns the valve port into an input
  Tachometer tachometer;
  bool generatorTakesCounter;   ///< the pulse generator occupies the pulse-counting counter
  bool stopsByFrequencyMode;    ///< PulseOFF and Halt take the generator off the trigger
                                ///< output by switching it to frequency measurement
  bool externalRateOnCounter1;  ///< ExtRepRateMes1 measures on counter 1
};

/// In order of precedence: a name holding two numbers takes the first row that matches.
inline constexpr CardModel kCardModels[] = {
    {"1710", 1710, 16, 0, -1, 0, 0, false, Tachometer::InputEdges, true, true, false},
    {"1711", 1711, 16, 0, 0, 0x01, 0x04, false, Tachometer::InputEdges, true, true, false},
    {"1712", 1712, 1, 2, 1, 0x80, 0x40, true, Tachometer::Counter, false, false, true},
};
/// What a PCIcard of no model (0 none, -1 the listing failed) means.
inline constexpr CardModel kNoCardModel{"",    0,    0,    0, -1, 0, 0, false, Tachometer::None,
                                        false, true, false};

/// The row of a PCIcard value.
constexpr const CardModel& cardModel(int16_t code) {
  for (const CardModel& m : kCardModels) {
    if (m.code == code) return m;
  }
  return kNoCardModel;
}

}  // namespace morvand::card
