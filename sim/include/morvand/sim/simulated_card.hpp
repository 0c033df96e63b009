#pragma once
/// A data-acquisition card wired to the simulated laser. It behaves as the card and its
/// driver would: a device list, a feature record with channel counts and gains, port
/// directions where the card has them, masked port writes, clipped and quantized analog
/// channels, counters that count, generate pulses or measure, and non-zero statuses with
/// readable texts for every invalid handle, channel, port, counter or parameter.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "morvand/card_driver.hpp"
#include "morvand/recording_driver.hpp"
#include "morvand/sim/laser_plant.hpp"

namespace morvand::sim {

enum class Personality { Pci1710, Pci1711, Pci1712, Demo };

/// Statuses the simulated driver answers with (0 is success).
namespace status {
constexpr int32_t kInvalidHandle = 101;
constexpr int32_t kDeviceNotFound = 102;
constexpr int32_t kInvalidChannel = 103;
constexpr int32_t kInvalidGain = 104;
constexpr int32_t kInvalidPort = 105;
constexpr int32_t kPortNotProgrammable = 106;
constexpr int32_t kInvalidCounter = 107;
constexpr int32_t kInvalidParameter = 108;
constexpr int32_t kNullBuffer = 109;
constexpr int32_t kInvalidOutputRange = 110;
/// What an injected failure answers unless told otherwise.
constexpr int32_t kIoFailure = 120;
}  // namespace status

/// The readable text of a status, as GetErrorMessage writes it.
std::string_view statusText(int32_t status);

/// The name the card has in the driver's device list.
std::string_view personalityDeviceName(Personality personality);

class SimulatedDevice;

/// The simulated card as the controller sees it: the card's device behind the one recording
/// and fault-injection wrapper (a failing call answers its status and has no effect; calls
/// are counted, not kept).
class SimulatedCard : public RecordingDriver {
 public:
  SimulatedCard(Personality personality, std::shared_ptr<LaserPlant> plant);
  ~SimulatedCard() override;

  Personality personality() const;
  const DeviceFeatures& features() const;
  LaserPlant& plant();

  // ---- what the card is doing, for tests and the console ----
  /// Latched value of an output port (all eight lines, driven or not).
  uint8_t outputLatch(int port) const;
  /// True when the port drives its lines (ports without direction control always do).
  bool drivesPort(int port) const;
  float analogOutput(int channel) const;
  /// Rate of the counter-0 pulse train, Hz (0 when not generating).
  double generatorRate() const;

 private:
  explicit SimulatedCard(std::unique_ptr<SimulatedDevice> device);
  std::unique_ptr<SimulatedDevice> device_;
};

}  // namespace morvand::sim
