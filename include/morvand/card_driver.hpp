#pragma once
/// The card driver: one method per driver operation, each returning a 32-bit status
/// (0 = success). Back ends (the simulator, real hardware) implement it; the controller
/// reaches it only through the card context of its thread.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

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

/// The driver library's 19 operations, declared once. MORVAND_DRIVER_OPERATIONS(X) expands
/// X(name, (parameters), (arguments), (fields a recording keeps)) once per operation, in the
/// driver's order: the interface below, the DriverOp names and the recording wrapper of
/// recording_driver.hpp all come from it. GetErrorMessage writes a zero-terminated text of
/// at most 80 bytes (terminator included).
#define MORVAND_DRIVER_OPERATIONS(X)                                                               \
  X(DeviceGetList, (DeviceListEntry * list, int16_t maxEntries, int16_t * entriesOut),             \
    (list, maxEntries, entriesOut), (maxEntries))                                                  \
  X(DeviceGetNumOfList, (int16_t * count), (count), ())                                            \
  X(DeviceOpen, (int32_t deviceNum, int32_t * handle), (deviceNum, handle), (deviceNum))           \
  X(DeviceClose, (int32_t * handle), (handle), (handle ? *handle : -1))                            \
  X(DeviceGetFeatures, (int32_t handle, DeviceFeatures * features), (handle, features), ())        \
  X(AIGetConfig, (int32_t handle, AIConfigRecord * config), (handle, config), ())                  \
  X(GetErrorMessage, (int32_t status, char text[80]), (status, text), (status))                    \
  X(DioSetPortMode, (int32_t handle, const PortModeRequest& request), (handle, request),           \
    (request.port, request.direction))                                                             \
  X(DioWritePortByte, (int32_t handle, const PortWriteRequest& request), (handle, request),        \
    (request.port, request.mask, request.value))                                                   \
  X(DioReadPortByte, (int32_t handle, const PortReadRequest& request), (handle, request),          \
    (request.port))                                                                                \
  X(AIConfig, (int32_t handle, const AIConfigRequest& request), (handle, request),                 \
    (request.channel, request.gainCode))                                                           \
  X(AIVoltageIn, (int32_t handle, const AIVoltageInRequest& request), (handle, request),           \
    (request.channel, request.gainCode, request.trigMode))                                         \
  X(AOConfig, (int32_t handle, const AOConfigRequest& request), (handle, request),                 \
    (request.channel, request.maxVolts, request.minVolts))                                         \
  X(AOVoltageOut, (int32_t handle, const AOVoltageOutRequest& request), (handle, request),         \
    (request.channel, request.volts))                                                              \
  X(CounterEventStart, (int32_t handle, const CounterEventStartRequest& request),                  \
    (handle, request), (request.counter, request.gateMode))                                        \
  X(CounterEventRead, (int32_t handle, const CounterEventReadRequest& request), (handle, request), \
    (request.counter))                                                                             \
  X(CounterReset, (int32_t handle, int16_t counter), (handle, counter), (counter))                 \
  X(CounterPulseStart, (int32_t handle, const CounterPulseStartRequest& request),                  \
    (handle, request), (request.counter, request.period, request.highTime, request.gateMode))      \
  X(CounterFreqStart, (int32_t handle, const CounterFreqStartRequest& request), (handle, request), \
    (request.counter, request.gatePeriod, request.gateMode))

/// The driver operations by name: failing or counting an operation that does not exist does
/// not compile.
enum class DriverOp : uint8_t {
#define MORVAND_DRIVER_OP_ENUM(name, params, args, fields) name,
  MORVAND_DRIVER_OPERATIONS(MORVAND_DRIVER_OP_ENUM)
#undef MORVAND_DRIVER_OP_ENUM
};

inline constexpr std::string_view kDriverOpNames[] = {
#define MORVAND_DRIVER_OP_NAME(name, params, args, fields) #name,
    MORVAND_DRIVER_OPERATIONS(MORVAND_DRIVER_OP_NAME)
#undef MORVAND_DRIVER_OP_NAME
};
inline constexpr size_t kDriverOpCount = std::size(kDriverOpNames);

/// The operation's name as the driver interface spells it ("AIVoltageIn").
constexpr std::string_view driverOpName(DriverOp op) {
  return kDriverOpNames[static_cast<size_t>(op)];
}
/// The operation of a name; none for a name the driver does not have.
constexpr std::optional<DriverOp> driverOpByName(std::string_view name) {
  for (size_t i = 0; i < kDriverOpCount; ++i) {
    if (kDriverOpNames[i] == name) return static_cast<DriverOp>(i);
  }
  return std::nullopt;
}

/// The driver library's operations, each returning a status (0 = success).
class CardDriver {
 public:
  virtual ~CardDriver() = default;
#define MORVAND_DRIVER_OP_DECLARE(name, params, args, fields) virtual int32_t name params = 0;
  MORVAND_DRIVER_OPERATIONS(MORVAND_DRIVER_OP_DECLARE)
#undef MORVAND_DRIVER_OP_DECLARE
};

/// Declares the 19 operations as overrides, in the class body of a CardDriver.
#define MORVAND_DRIVER_OP_OVERRIDE(name, params, args, fields) int32_t name params override;
#define MORVAND_DRIVER_OVERRIDES MORVAND_DRIVER_OPERATIONS(MORVAND_DRIVER_OP_OVERRIDE)

}  // namespace morvand
