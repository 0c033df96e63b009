#include "morvand/sim/simulated_card.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "simulated_device.hpp"

namespace morvand::sim {

namespace {

constexpr double kAdcSteps = 4096.0;  // 12-bit converters, in and out

struct GainRow {
  int16_t code;
  float low, high;
  const char* name;
};
// Input ranges per card, first entry first (the controller uses the first one).
constexpr GainRow kBipolar10[] = {{0, -10.0f, 10.0f, "+/- 10 V"},
                                  {1, -5.0f, 5.0f, "+/- 5 V"},
                                  {2, -2.5f, 2.5f, "+/- 2.5 V"},
                                  {3, -1.25f, 1.25f, "+/- 1.25 V"},
                                  {4, -0.625f, 0.625f, "+/- 0.625 V"}};
constexpr GainRow k1710[] = {{0, -5.0f, 5.0f, "+/- 5 V"},      {1, -2.5f, 2.5f, "+/- 2.5 V"},
                             {2, -1.25f, 1.25f, "+/- 1.25 V"}, {3, -0.625f, 0.625f, "+/- 0.625 V"},
                             {4, -10.0f, 10.0f, "+/- 10 V"},   {16, 0.0f, 10.0f, "0 ~ 10 V"},
                             {17, 0.0f, 5.0f, "0 ~ 5 V"},      {18, 0.0f, 2.5f, "0 ~ 2.5 V"},
                             {19, 0.0f, 1.25f, "0 ~ 1.25 V"}};
constexpr GainRow k1712[] = {{0, -10.0f, 10.0f, "+/- 10 V"},      {1, -5.0f, 5.0f, "+/- 5 V"},
                             {2, -2.5f, 2.5f, "+/- 2.5 V"},       {3, -1.25f, 1.25f, "+/- 1.25 V"},
                             {4, -0.625f, 0.625f, "+/- 0.625 V"}, {16, 0.0f, 10.0f, "0 ~ 10 V"},
                             {17, 0.0f, 5.0f, "0 ~ 5 V"}};

double quantize(double v, double low, double high) {
  const double lsb = (high - low) / kAdcSteps;
  const double code = std::clamp(std::round((v - low) / lsb), 0.0, kAdcSteps - 1.0);
  return low + code * lsb;
}

}  // namespace

std::string_view statusText(int32_t status) {
  switch (status) {
    case 0:
      return "The operation completed successfully";
    case status::kInvalidHandle:
      return "Invalid device handle";
    case status::kDeviceNotFound:
      return "Device number not found in the device list";
    case status::kInvalidChannel:
      return "Channel number out of range";
    case status::kInvalidGain:
      return "Gain code not supported by this board";
    case status::kInvalidPort:
      return "Digital port number out of range";
    case status::kPortNotProgrammable:
      return "Port direction is fixed on this board";
    case status::kInvalidCounter:
      return "Counter channel out of range";
    case status::kInvalidParameter:
      return "Invalid parameter value";
    case status::kNullBuffer:
      return "Null buffer address";
    case status::kInvalidOutputRange:
      return "Output range not supported by this board";
    case status::kIoFailure:
      return "Board I/O access failed";
    default:
      return "Unknown error code";
  }
}

std::string_view personalityDeviceName(Personality personality) {
  switch (personality) {
    case Personality::Pci1710:
      return "PCI-1710 (simulated laser)";
    case Personality::Pci1711:
      return "PCI-1711 (simulated laser)";
    case Personality::Pci1712:
      return "PCI-1712 (simulated laser)";
    case Personality::Demo:
      return "PCI-1711 DEMO (simulated laser)";
  }
  return "";
}

SimulatedCard::SimulatedCard(Personality personality, std::shared_ptr<LaserPlant> plant)
    : SimulatedCard(std::make_unique<SimulatedDevice>(personality, std::move(plant))) {}

SimulatedCard::SimulatedCard(std::unique_ptr<SimulatedDevice> device)
    : RecordingDriver(*device), device_(std::move(device)) {
  keepCalls = false;  // a simulation runs for hours: counts are enough
}

SimulatedCard::~SimulatedCard() = default;
Personality SimulatedCard::personality() const { return device_->personality(); }
const DeviceFeatures& SimulatedCard::features() const { return device_->features(); }
LaserPlant& SimulatedCard::plant() { return device_->plant(); }
uint8_t SimulatedCard::outputLatch(int port) const { return device_->outputLatch(port); }
bool SimulatedCard::drivesPort(int port) const { return device_->drivesPort(port); }
float SimulatedCard::analogOutput(int channel) const { return device_->analogOutput(channel); }
double SimulatedCard::generatorRate() const { return device_->generatorRate(); }

SimulatedDevice::SimulatedDevice(Personality personality, std::shared_ptr<LaserPlant> plant)
    : personality_(personality), plant_(std::move(plant)) {
  const GainRow* rows = kBipolar10;
  size_t n = std::size(kBipolar10);
  features_.numSingleEndedAI = 16;
  features_.numAO = 2;
  features_.numDOLines = 16;
  features_.numDILines = 16;
  features_.numCounters = 3;
  switch (personality) {
    case Personality::Pci1710:
      features_.numDifferentialAI = 8;
      rows = k1710;
      n = std::size(k1710);
      break;
    case Personality::Pci1712:
      // Two programmable 8-line ports shared by inputs and outputs.
      features_.numDifferentialAI = 8;
      features_.numProgrammablePorts = 2;
      rows = k1712;
      n = std::size(k1712);
      break;
    case Personality::Pci1711:
    case Personality::Demo:
      break;
  }
  gainCount_ = n;
  features_.numGains = static_cast<uint16_t>(n);
  for (size_t i = 0; i < n; ++i) {
    gains_[i] = {rows[i].code, rows[i].low, rows[i].high};
    features_.gains[i].gainCode = rows[i].code;
    std::strncpy(features_.gains[i].name, rows[i].name, sizeof(features_.gains[i].name));
  }
  // Fixed-direction cards drive their output ports from power-up; programmable ports start
  // as inputs, so their lines float (every valve and control line released).
  const bool fixed = features_.numProgrammablePorts == 0;
  output_ = {fixed, fixed};
  drive(0);
  drive(1);
}

bool SimulatedDevice::validHandle(int32_t handle) const {
  // The controller never opens a DEMO device, so the demo answers on the null handle too.
  if (personality_ == Personality::Demo && handle == 0) return true;
  const auto it = open_.find(handle);
  return it != open_.end() && it->second;
}

const SimulatedDevice::Gain* SimulatedDevice::gain(int16_t code) const {
  for (size_t i = 0; i < gainCount_; ++i) {
    if (gains_[i].code == code) return &gains_[i];
  }
  return nullptr;
}

int16_t SimulatedDevice::analogInputs() const {
  return static_cast<int16_t>(features_.numSingleEndedAI);
}

double SimulatedDevice::generatorRate() const {
  const Counter& c = counters_[0];
  return c.mode == CounterMode::Generating ? 1.0 / c.period : 0.0;
}

void SimulatedDevice::drive(int port) {
  const uint8_t levels = output_[port] ? latch_[port] : 0;
  if (port == 0) {
    plant_->setControlLines(levels);
  } else {
    plant_->setValveLines(levels);
  }
}

uint8_t SimulatedDevice::inputByte(int port) {
  if (personality_ == Personality::Pci1712) {
    if (output_[port]) return latch_[port];  // read-back of a driven port
    if (port != 1) return 0;
    return static_cast<uint8_t>((plant_->powerOk() ? 0x80 : 0) |
                                (plant_->interlockClosed() ? 0x40 : 0));
  }
  // Separate input ports: power OK, interlock and tachometer on port 0, the tachometer also
  // on port 1.
  const uint8_t tach = plant_->tachometerHigh() ? 0x10 : 0;
  if (port == 1) return tach;
  return static_cast<uint8_t>((plant_->powerOk() ? 0x01 : 0) |
                              (plant_->interlockClosed() ? 0x04 : 0) | tach);
}

double SimulatedDevice::counterSource(int16_t counter) {
  switch (counter) {
    case 0:  // gate of counter 0: the external trigger input
      return plant_->externalPulses();
    case 1:  // the tachometer on the PCI-1712, the laser's trigger line on the others
      return personality_ == Personality::Pci1712 ? plant_->tachometerPulses()
                                                  : plant_->triggerPulses();
    default:  // the laser's trigger line, whatever fires it
      return plant_->triggerPulses();
  }
}

int32_t SimulatedDevice::DeviceGetList(DeviceListEntry* list, int16_t maxEntries,
                                       int16_t* entriesOut) {
  if (list == nullptr || entriesOut == nullptr) return status::kNullBuffer;
  if (maxEntries < 0) return status::kInvalidParameter;
  *entriesOut = 0;
  if (maxEntries == 0) return 0;
  DeviceListEntry entry{};
  entry.deviceNum = 0;
  const std::string_view name = personalityDeviceName(personality_);
  std::memcpy(entry.deviceName, name.data(), std::min(name.size(), sizeof(entry.deviceName) - 1));
  entry.numSubdevices = 0;
  list[0] = entry;
  *entriesOut = 1;
  return 0;
}

int32_t SimulatedDevice::DeviceGetNumOfList(int16_t* count) {
  if (count == nullptr) return status::kNullBuffer;
  *count = 1;
  return 0;
}

int32_t SimulatedDevice::DeviceOpen(int32_t deviceNum, int32_t* handle) {
  if (handle == nullptr) return status::kNullBuffer;
  if (deviceNum != 0) return status::kDeviceNotFound;
  *handle = nextHandle_++;
  open_[*handle] = true;
  return 0;
}

int32_t SimulatedDevice::DeviceClose(int32_t* handle) {
  if (handle == nullptr) return status::kNullBuffer;
  if (!validHandle(*handle)) return status::kInvalidHandle;
  open_[*handle] = false;
  return 0;
}

int32_t SimulatedDevice::DeviceGetFeatures(int32_t handle, DeviceFeatures* features) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (features == nullptr) return status::kNullBuffer;
  *features = features_;
  return 0;
}

int32_t SimulatedDevice::AIGetConfig(int32_t handle, AIConfigRecord* config) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (config == nullptr) return status::kNullBuffer;
  *config = AIConfigRecord{};  // single-ended inputs
  return 0;
}

int32_t SimulatedDevice::GetErrorMessage(int32_t code, char text[80]) {
  if (text == nullptr) return status::kNullBuffer;
  const std::string_view msg = statusText(code);
  const size_t n = std::min<size_t>(msg.size(), 79);
  std::memcpy(text, msg.data(), n);
  text[n] = '\0';
  return 0;
}

int32_t SimulatedDevice::DioSetPortMode(int32_t handle, const PortModeRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (!validPort(request.port)) return status::kInvalidPort;
  if (features_.numProgrammablePorts == 0) return status::kPortNotProgrammable;
  if (request.direction != 0 && request.direction != 1) return status::kInvalidParameter;
  output_[request.port] = request.direction == 1;
  drive(request.port);
  return 0;
}

int32_t SimulatedDevice::DioWritePortByte(int32_t handle, const PortWriteRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (!validPort(request.port)) return status::kInvalidPort;
  const auto mask = static_cast<uint8_t>(request.mask & 0xFF);
  const auto value = static_cast<uint8_t>(request.value & 0xFF);
  uint8_t& latch = latch_[request.port];
  latch = static_cast<uint8_t>((latch & ~mask) | (value & mask));
  drive(request.port);
  return 0;
}

int32_t SimulatedDevice::DioReadPortByte(int32_t handle, const PortReadRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (!validPort(request.port)) return status::kInvalidPort;
  if (request.value == nullptr) return status::kNullBuffer;
  *request.value = inputByte(request.port);
  return 0;
}

int32_t SimulatedDevice::AIConfig(int32_t handle, const AIConfigRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (request.channel < 0 || request.channel >= analogInputs()) return status::kInvalidChannel;
  if (gain(request.gainCode) == nullptr) return status::kInvalidGain;
  return 0;
}

int32_t SimulatedDevice::AIVoltageIn(int32_t handle, const AIVoltageInRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (request.channel < 0 || request.channel >= analogInputs()) return status::kInvalidChannel;
  const Gain* g = gain(request.gainCode);
  if (g == nullptr) return status::kInvalidGain;
  if (request.trigMode != 0) return status::kInvalidParameter;  // software trigger only
  if (request.voltage == nullptr) return status::kNullBuffer;
  *request.voltage =
      static_cast<float>(quantize(plant_->analogInput(request.channel), g->low, g->high));
  return 0;
}

int32_t SimulatedDevice::AOConfig(int32_t handle, const AOConfigRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (request.channel < 0 || request.channel >= features_.numAO) return status::kInvalidChannel;
  if (request.minVolts != 0.0f || (request.maxVolts != 5.0f && request.maxVolts != 10.0f)) {
    return status::kInvalidOutputRange;
  }
  aoHigh_[request.channel] = request.maxVolts;
  return 0;
}

int32_t SimulatedDevice::AOVoltageOut(int32_t handle, const AOVoltageOutRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (request.channel < 0 || request.channel >= features_.numAO) return status::kInvalidChannel;
  if (!std::isfinite(request.volts)) return status::kInvalidParameter;
  // The converter clips to its range: a negative set-point gives 0 V.
  const double high = aoHigh_[request.channel];
  const double v = quantize(std::clamp<double>(request.volts, 0.0, high), 0.0, high);
  ao_[request.channel] = static_cast<float>(v);
  plant_->setAnalogOutput(request.channel, v);
  return 0;
}

int32_t SimulatedDevice::CounterEventStart(int32_t handle,
                                           const CounterEventStartRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (!validCounter(request.counter)) return status::kInvalidCounter;
  if (request.gateMode < 0) return status::kInvalidParameter;
  if (request.counter == 0) plant_->setInternalTriggerRate(0.0);
  counters_[request.counter] = {CounterMode::Counting, counterSource(request.counter), 0.0};
  return 0;
}

int32_t SimulatedDevice::CounterEventRead(int32_t handle, const CounterEventReadRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (!validCounter(request.counter)) return status::kInvalidCounter;
  if (request.overflow == nullptr || request.count == nullptr) return status::kNullBuffer;
  const Counter& c = counters_[request.counter];
  double events = 0.0;
  if (c.mode == CounterMode::Counting) {
    events = std::floor(counterSource(request.counter)) - std::floor(c.base);
  }
  *request.overflow = events >= 4294967296.0 ? 1 : 0;
  *request.count = static_cast<uint32_t>(std::fmod(events, 4294967296.0));
  return 0;
}

int32_t SimulatedDevice::CounterReset(int32_t handle, int16_t counter) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (!validCounter(counter)) return status::kInvalidCounter;
  if (counter == 0) plant_->setInternalTriggerRate(0.0);
  counters_[counter] = Counter{};
  return 0;
}

int32_t SimulatedDevice::CounterPulseStart(int32_t handle,
                                           const CounterPulseStartRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (!validCounter(request.counter)) return status::kInvalidCounter;
  // A high time of 0 asks for a square wave.
  if (!std::isfinite(request.period) || request.period <= 0.0f || request.highTime < 0.0f ||
      request.highTime >= request.period || request.gateMode < 0) {
    return status::kInvalidParameter;
  }
  counters_[request.counter] = {CounterMode::Generating, 0.0, request.period};
  // Only the output of counter 0 is wired to the laser's trigger input.
  if (request.counter == 0) plant_->setInternalTriggerRate(1.0 / request.period);
  return 0;
}

int32_t SimulatedDevice::CounterFreqStart(int32_t handle, const CounterFreqStartRequest& request) {
  if (!validHandle(handle)) return status::kInvalidHandle;
  if (!validCounter(request.counter)) return status::kInvalidCounter;
  if (request.gatePeriod <= 0 || request.gateMode < 0) return status::kInvalidParameter;
  if (request.counter == 0) plant_->setInternalTriggerRate(0.0);
  counters_[request.counter] = {CounterMode::Measuring, 0.0, 0.0};
  return 0;
}

}  // namespace morvand::sim
