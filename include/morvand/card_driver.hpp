#pragma once
/// The card driver: one method per driver operation, each returning a 32-bit status
/// (0 = success). Back ends (the simulator, real hardware) implement it; the controller
/// reaches it only through the card context of its thread.

#include <cstddef>
#include <cstdint>

namespace morvand {

struct PortModeRequest {
  int16_t port;
  int16_t direction;  ///< 1 output, 0 input
};
struct PortWriteRequest {
  int16_t port;
  int16_t mask;
  int16_t value;
};
struct PortReadRequest {
  int16_t port;
  int16_t* value;  ///< receives the port's byte
};
struct AIConfigRequest {
  int16_t channel;
  int16_t gainCode;
};
struct AIVoltageInRequest {
  int16_t channel;
  int16_t gainCode;
  int16_t trigMode;
  float* voltage;  ///< receives the input voltage, V
};
struct AOConfigRequest {
  int16_t channel;
  float maxVolts;
  float minVolts;
};
struct AOVoltageOutRequest {
  int16_t channel;
  float volts;
};
struct CounterEventStartRequest {
  int16_t counter;
  int16_t gateMode;
};
struct CounterEventReadRequest {
  int16_t counter;
  int16_t* overflow;
  uint32_t* count;
};
struct CounterPulseStartRequest {
  int16_t counter;
  float period;    ///< s
  float highTime;  ///< s
  int16_t gateMode;
};
struct CounterFreqStartRequest {
  int16_t counter;
  int16_t gatePeriod;
  int16_t gateMode;
};

/// One entry of the device list (56 bytes).
struct DeviceListEntry {
  int32_t deviceNum;
  char deviceName[50];
  int16_t numSubdevices;
};

/// One entry of the feature record's gain list (28 bytes).
struct GainListEntry {
  int16_t gainCode;
  uint8_t reserved[10];
  char name[16];
};

/// The card's feature record; only the fields the controller reads are named.
struct DeviceFeatures {
  uint8_t reserved0[28];
  uint16_t numDifferentialAI;     // offset 28
  uint16_t numSingleEndedAI;      // 30
  uint16_t numAO;                 // 32
  uint16_t numDOLines;            // 34
  uint16_t numDILines;            // 36
  uint16_t numProgrammablePorts;  // 38
  uint16_t numCounters;           // 40
  uint8_t reserved1[10];
  uint16_t numGains;  // 52
  uint8_t reserved2[2];
  GainListEntry gains[16];  // 56
};

/// The analog-input configuration record (272 bytes); channelConfig non-zero: differential.
struct AIConfigRecord {
  uint8_t reserved0[4];
  uint16_t channelConfig;
  uint8_t reserved1[266];
};

static_assert(sizeof(DeviceListEntry) == 56);
static_assert(offsetof(DeviceListEntry, deviceName) == 4);
static_assert(offsetof(DeviceListEntry, numSubdevices) == 54);
static_assert(sizeof(GainListEntry) == 28);
static_assert(offsetof(GainListEntry, name) == 12);
static_assert(offsetof(DeviceFeatures, numDifferentialAI) == 28);
static_assert(offsetof(DeviceFeatures, numSingleEndedAI) == 30);
static_assert(offsetof(DeviceFeatures, numAO) == 32);
static_assert(offsetof(DeviceFeatures, numDOLines) == 34);
static_assert(offsetof(DeviceFeatures, numDILines) == 36);
static_assert(offsetof(DeviceFeatures, numProgrammablePorts) == 38);
static_assert(offsetof(DeviceFeatures, numCounters) == 40);
static_assert(offsetof(DeviceFeatures, numGains) == 52);
static_assert(offsetof(DeviceFeatures, gains) == 56);
static_assert(sizeof(DeviceFeatures) == 56 + 16 * 28);
static_assert(offsetof(AIConfigRecord, channelConfig) == 4);
static_assert(sizeof(AIConfigRecord) == 272);

/// The driver library's operations.
class CardDriver {
 public:
  virtual ~CardDriver() = default;
  virtual int32_t DeviceGetList(DeviceListEntry* list, int16_t maxEntries, int16_t* entriesOut) = 0;
  virtual int32_t DeviceGetNumOfList(int16_t* count) = 0;
  virtual int32_t DeviceOpen(int32_t deviceNum, int32_t* handle) = 0;
  virtual int32_t DeviceClose(int32_t* handle) = 0;
  virtual int32_t DeviceGetFeatures(int32_t handle, DeviceFeatures* features) = 0;
  virtual int32_t AIGetConfig(int32_t handle, AIConfigRecord* config) = 0;
  /// Writes a zero-terminated text of at most 80 bytes (terminator included).
  virtual int32_t GetErrorMessage(int32_t status, char text[80]) = 0;
  virtual int32_t DioSetPortMode(int32_t handle, const PortModeRequest& request) = 0;
  virtual int32_t DioWritePortByte(int32_t handle, const PortWriteRequest& request) = 0;
  virtual int32_t DioReadPortByte(int32_t handle, const PortReadRequest& request) = 0;
  virtual int32_t AIConfig(int32_t handle, const AIConfigRequest& request) = 0;
  virtual int32_t AIVoltageIn(int32_t handle, const AIVoltageInRequest& request) = 0;
  virtual int32_t AOConfig(int32_t handle, const AOConfigRequest& request) = 0;
  virtual int32_t AOVoltageOut(int32_t handle, const AOVoltageOutRequest& request) = 0;
  virtual int32_t CounterEventStart(int32_t handle, const CounterEventStartRequest& request) = 0;
  virtual int32_t CounterEventRead(int32_t handle, const CounterEventReadRequest& request) = 0;
  virtual int32_t CounterReset(int32_t handle, int16_t counter) = 0;
  virtual int32_t CounterPulseStart(int32_t handle, const CounterPulseStartRequest& request) = 0;
  virtual int32_t CounterFreqStart(int32_t handle, const CounterFreqStartRequest& request) = 0;
};

}  // namespace morvand
