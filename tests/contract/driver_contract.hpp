#pragma once
// The contract every CardDriver of the project keeps, as one parameterized suite: each
// driver comes with a small harness (how to open it and look behind it) and the flags where
// drivers honestly differ.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "morvand/card_driver.hpp"

namespace morvand::contract {

/// A driver with its first device open.
class Harness {
 public:
  virtual ~Harness() = default;
  virtual CardDriver& driver() = 0;
  /// Handle of the open device.
  virtual int32_t handle() const = 0;
  /// The eight lines an output port holds now.
  virtual int outputPort(int16_t port) = 0;
  /// Volts an analog output gives now.
  virtual double analogOut(int16_t channel) = 0;
  /// Makes n events arrive at the input the counting counter counts.
  virtual void feedEvents(uint64_t n) = 0;
};

/// What an analog output does with a voltage below its range.
enum class BelowRange { Clipped, Refused, Passed };

struct DriverTraits {
  std::string name;
  std::function<std::unique_ptr<Harness>()> open;
  /// False for a driver that answers what it is programmed to (the scripted card): then only
  /// what it records and reads back is part of the contract.
  bool checksArguments = true;
  /// The counter that counts external events.
  int16_t countingCounter = 0;
  /// Events after which the hardware counter wraps; 0 when none is modelled. The count the
  /// driver reports is extended to 32 bits across it when read more often.
  uint64_t hardwareWrap = 0;
  /// The overflow flag rises when a whole hardware wrap passes between two reads.
  bool flagsMissedWrap = false;
  BelowRange belowRange = BelowRange::Passed;
  /// Largest difference between the volts asked for and given (the converter's step).
  double aoStep = 0.0;
};

/// Every driver of this build, in the suite's order.
std::vector<DriverTraits> allDrivers();

}  // namespace morvand::contract
