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
#include "morvand/sim/laser_plant.hpp"

namespace morvand::sim {

enum class Personality { Pci1710, Pci1711, Pci1712, Demo };

/// The driver operations, for failure injection and call counts.
enum class DriverOp {
  DeviceGetList,
  DeviceGetNumOfList,
  DeviceOpen,
  DeviceClose,
  DeviceGetFeatures,
  AIGetConfig,
  GetErrorMessage,
  DioSetPortMode,
  DioWritePortByte,
  DioReadPortByte,
  AIConfig,
  AIVoltageIn,
  AOConfig,
  AOVoltageOut,
  CounterEventStart,
  CounterEventRead,
  CounterReset,
  CounterPulseStart,
  CounterFreqStart,
};
constexpr size_t kDriverOpCount = 19;

/// The operation's name as the driver interface spells it ("AIVoltageIn").
std::string_view driverOpName(DriverOp op);
std::optional<DriverOp> driverOpByName(std::string_view name);

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

class SimulatedCard : public CardDriver {
 public:
  SimulatedCard(Personality personality, std::shared_ptr<LaserPlant> plant);

  Personality personality() const { return personality_; }
  const DeviceFeatures& features() const { return features_; }
  LaserPlant& plant() { return *plant_; }

  // ---- failure injection: the call answers the status and has no effect ----
  /// The next call of op fails.
  void failOnce(DriverOp op, int32_t status = status::kIoFailure) { failNth(op, 1, status); }
  /// Every call of op fails until clearFailures.
  void failAlways(DriverOp op, int32_t status = status::kIoFailure);
  /// The nth call of op from now (1 = the next one) fails; the others succeed.
  void failNth(DriverOp op, int nth, int32_t status = status::kIoFailure);
  void clearFailures();
  /// Calls of op so far (failed ones included).
  uint64_t calls(DriverOp op) const { return calls_[static_cast<size_t>(op)]; }

  // ---- what the card is doing, for tests and the console ----
  /// Latched value of an output port (all eight lines, driven or not).
  uint8_t outputLatch(int port) const { return latch_[port & 1]; }
  /// True when the port drives its lines (ports without direction control always do).
  bool drivesPort(int port) const { return output_[port & 1]; }
  float analogOutput(int channel) const { return ao_[channel & 1]; }
  /// Rate of the counter-0 pulse train, Hz (0 when not generating).
  double generatorRate() const;

  // ---- CardDriver ----
  int32_t DeviceGetList(DeviceListEntry* list, int16_t maxEntries, int16_t* entriesOut) override;
  int32_t DeviceGetNumOfList(int16_t* count) override;
  int32_t DeviceOpen(int32_t deviceNum, int32_t* handle) override;
  int32_t DeviceClose(int32_t* handle) override;
  int32_t DeviceGetFeatures(int32_t handle, DeviceFeatures* features) override;
  int32_t AIGetConfig(int32_t handle, AIConfigRecord* config) override;
  int32_t GetErrorMessage(int32_t status, char text[80]) override;
  int32_t DioSetPortMode(int32_t handle, const PortModeRequest& request) override;
  int32_t DioWritePortByte(int32_t handle, const PortWriteRequest& request) override;
  int32_t DioReadPortByte(int32_t handle, const PortReadRequest& request) override;
  int32_t AIConfig(int32_t handle, const AIConfigRequest& request) override;
  int32_t AIVoltageIn(int32_t handle, const AIVoltageInRequest& request) override;
  int32_t AOConfig(int32_t handle, const AOConfigRequest& request) override;
  int32_t AOVoltageOut(int32_t handle, const AOVoltageOutRequest& request) override;
  int32_t CounterEventStart(int32_t handle, const CounterEventStartRequest& request) override;
  int32_t CounterEventRead(int32_t handle, const CounterEventReadRequest& request) override;
  int32_t CounterReset(int32_t handle, int16_t counter) override;
  int32_t CounterPulseStart(int32_t handle, const CounterPulseStartRequest& request) override;
  int32_t CounterFreqStart(int32_t handle, const CounterFreqStartRequest& request) override;

 private:
  struct Gain {
    int16_t code;
    float low, high;  // V
  };
  enum class CounterMode { Idle, Counting, Generating, Measuring };
  struct Counter {
    CounterMode mode = CounterMode::Idle;
    double base = 0.0;    // source pulses when counting started
    double period = 0.0;  // s, when generating
  };

  /// Counts the call and answers an injected failure, if one is due (else 0).
  int32_t enter(DriverOp op);
  bool validHandle(int32_t handle) const;
  const Gain* gain(int16_t code) const;
  int16_t analogInputs() const;
  bool validPort(int16_t port) const { return port == 0 || port == 1; }
  bool validCounter(int16_t counter) const {
    return counter >= 0 && counter < features_.numCounters;
  }
  double counterSource(int16_t counter);
  void drive(int port);
  uint8_t inputByte(int port);

  Personality personality_;
  std::shared_ptr<LaserPlant> plant_;
  DeviceFeatures features_{};
  std::array<Gain, 16> gains_{};
  size_t gainCount_ = 0;
  std::map<int32_t, bool> open_;  // handle -> open
  int32_t nextHandle_ = 0x1710;
  std::array<uint8_t, 2> latch_{};
  std::array<bool, 2> output_{};
  std::array<float, 2> ao_{};
  std::array<float, 2> aoHigh_{5.0f, 5.0f};
  std::array<Counter, 3> counters_{};
  std::array<uint64_t, kDriverOpCount> calls_{};
  struct Injection {
    bool always = false;
    int32_t status = 0;
    std::map<uint64_t, int32_t> atCall;  // call number -> status
  };
  std::array<Injection, kDriverOpCount> injections_{};
};

}  // namespace morvand::sim
