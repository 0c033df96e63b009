#pragma once
/// The driver library's binary interface: its operation names, their signatures and the
/// request records passed to them, in one place. The back end and the test stand-in both
/// use these declarations, so a layout corrected against the driver's documentation is one
/// edit here and nowhere else.
///
/// Every operation returns a 32-bit status (0 = success) and uses the Windows calling
/// convention of the library (__stdcall on 32-bit x86, the only convention on x64). The
/// records hold their fields in the order the system gives for each request, 16-bit
/// integers unless a field says otherwise, with the compiler's natural alignment; an
/// address field is a pointer, so it is 32 bits wide in the 32-bit build that loads the
/// real library.

#include <cstddef>
#include <cstdint>

#include "morvand/card_driver.hpp"

#if defined(_WIN32) && !defined(_WIN64)
#define MORVAND_DRV_CALL __stdcall
#else
#define MORVAND_DRV_CALL
#endif

namespace morvand::driverlib {

/// The library's file name, loaded by name with "driver:".
inline constexpr const char* kDefaultLibrary = "adsapi32.dll";
/// Size of the driver's error-text buffer, bytes, terminator included.
inline constexpr std::size_t kErrorTextBytes = 80;

// ---- request records -------------------------------------------------------------------
// Field order as the card layer builds them: the card-selection records (feature and
// analog-input configuration requests), the digital records (port mode, write, read), the
// analog records (input configuration and read, output configuration and write) and the
// counter records (event start and read, pulse start, frequency start).

/// The driver's record for DRV_DeviceGetFeatures and DRV_AIGetConfig: the address of the
/// record to fill, then its size (16 bits; the card layer leaves it 0).
struct BufferRequest {
  void* buffer;
  uint16_t size;
};
/// The driver's record for DRV_DioSetPortMode: port, direction (1 output, 0 input).
struct PortModeRecord {
  int16_t port;
  int16_t direction;
};
/// The driver's record for DRV_DioWritePortByte: port, mask, value.
struct PortWriteRecord {
  int16_t port;
  int16_t mask;
  int16_t value;
};
/// The driver's record for DRV_DioReadPortByte: port, address of the 16-bit value.
struct PortReadRecord {
  int16_t port;
  int16_t* value;
};
/// The driver's record for DRV_AIConfig: channel, gain code.
struct AIConfigRecordRequest {
  int16_t channel;
  int16_t gainCode;
};
/// The driver's record for DRV_AIVoltageIn: channel, gain code, trigger mode, address of the
/// 32-bit float that receives the voltage.
struct AIVoltageInRecord {
  int16_t channel;
  int16_t gainCode;
  int16_t trigMode;
  float* voltage;
};
/// The driver's record for DRV_AOConfig: channel, highest and lowest output voltage (floats).
struct AOConfigRecordRequest {
  int16_t channel;
  float maxVolts;
  float minVolts;
};
/// The driver's record for DRV_AOVoltageOut: channel, voltage (float).
struct AOVoltageOutRecord {
  int16_t channel;
  float volts;
};
/// The driver's record for DRV_CounterEventStart: counter, gate mode.
struct CounterEventStartRecord {
  int16_t counter;
  int16_t gateMode;
};
/// The driver's record for DRV_CounterEventRead: counter, address of the 16-bit overflow
/// flag, address of the 32-bit count.
struct CounterEventReadRecord {
  int16_t counter;
  int16_t* overflow;
  uint32_t* count;
};
/// The driver's record for DRV_CounterPulseStart: counter, period and high time in seconds
/// (floats), gate mode.
struct CounterPulseStartRecord {
  int16_t counter;
  float period;
  float highTime;
  int16_t gateMode;
};
/// The driver's record for DRV_CounterFreqStart: counter, gate period, gate mode.
struct CounterFreqStartRecord {
  int16_t counter;
  int16_t gatePeriod;
  int16_t gateMode;
};

// The device list entry, the feature record and the analog-input configuration record the
// library fills are the card layer's own (morvand/card_driver.hpp, checked there).

inline constexpr std::size_t kPtr = sizeof(void*);
static_assert(offsetof(BufferRequest, size) == kPtr && sizeof(BufferRequest) == 2 * kPtr);
static_assert(sizeof(PortModeRecord) == 4 && offsetof(PortModeRecord, direction) == 2);
static_assert(sizeof(PortWriteRecord) == 6 && offsetof(PortWriteRecord, mask) == 2 &&
              offsetof(PortWriteRecord, value) == 4);
static_assert(offsetof(PortReadRecord, value) == kPtr && sizeof(PortReadRecord) == 2 * kPtr);
static_assert(sizeof(AIConfigRecordRequest) == 4 && offsetof(AIConfigRecordRequest, gainCode) == 2);
static_assert(offsetof(AIVoltageInRecord, gainCode) == 2 &&
              offsetof(AIVoltageInRecord, trigMode) == 4 &&
              offsetof(AIVoltageInRecord, voltage) == 8 && sizeof(AIVoltageInRecord) == 8 + kPtr);
static_assert(offsetof(AOConfigRecordRequest, maxVolts) == 4 &&
              offsetof(AOConfigRecordRequest, minVolts) == 8 &&
              sizeof(AOConfigRecordRequest) == 12);
static_assert(offsetof(AOVoltageOutRecord, volts) == 4 && sizeof(AOVoltageOutRecord) == 8);
static_assert(sizeof(CounterEventStartRecord) == 4 &&
              offsetof(CounterEventStartRecord, gateMode) == 2);
static_assert(offsetof(CounterEventReadRecord, overflow) == kPtr &&
              offsetof(CounterEventReadRecord, count) == 2 * kPtr &&
              sizeof(CounterEventReadRecord) == 3 * kPtr);
static_assert(offsetof(CounterPulseStartRecord, period) == 4 &&
              offsetof(CounterPulseStartRecord, highTime) == 8 &&
              offsetof(CounterPulseStartRecord, gateMode) == 12 &&
              sizeof(CounterPulseStartRecord) == 16);
static_assert(sizeof(CounterFreqStartRecord) == 6 &&
              offsetof(CounterFreqStartRecord, gatePeriod) == 2 &&
              offsetof(CounterFreqStartRecord, gateMode) == 4);

// ---- operations ------------------------------------------------------------------------

extern "C" {
using DeviceGetListFn = int32_t(MORVAND_DRV_CALL*)(DeviceListEntry* list, int16_t maxEntries,
                                                   int16_t* entriesOut);
using DeviceGetNumOfListFn = int32_t(MORVAND_DRV_CALL*)(int16_t* count);
using DeviceOpenFn = int32_t(MORVAND_DRV_CALL*)(int32_t deviceNum, int32_t* handle);
using DeviceCloseFn = int32_t(MORVAND_DRV_CALL*)(int32_t* handle);
using DeviceGetFeaturesFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, BufferRequest* request);
using AIGetConfigFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, BufferRequest* request);
using GetErrorMessageFn = int32_t(MORVAND_DRV_CALL*)(int32_t status, char* text);
using DioSetPortModeFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, PortModeRecord* request);
using DioWritePortByteFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, PortWriteRecord* request);
using DioReadPortByteFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, PortReadRecord* request);
using AIConfigFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, AIConfigRecordRequest* request);
using AIVoltageInFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, AIVoltageInRecord* request);
using AOConfigFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, AOConfigRecordRequest* request);
using AOVoltageOutFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, AOVoltageOutRecord* request);
using CounterEventStartFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle,
                                                       CounterEventStartRecord* request);
using CounterEventReadFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle,
                                                      CounterEventReadRecord* request);
/// The counter number goes by value, in a full 32-bit argument slot.
using CounterResetFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle, int32_t counter);
using CounterPulseStartFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle,
                                                       CounterPulseStartRecord* request);
using CounterFreqStartFn = int32_t(MORVAND_DRV_CALL*)(int32_t handle,
                                                      CounterFreqStartRecord* request);
}

/// The operations the back end looks up, by their exported names, in this order.
inline constexpr const char* kOperationNames[] = {
    "DRV_DeviceGetList",    "DRV_DeviceGetNumOfList", "DRV_DeviceOpen",
    "DRV_DeviceClose",      "DRV_DeviceGetFeatures",  "DRV_AIGetConfig",
    "DRV_GetErrorMessage",  "DRV_DioSetPortMode",     "DRV_DioWritePortByte",
    "DRV_DioReadPortByte",  "DRV_AIConfig",           "DRV_AIVoltageIn",
    "DRV_AOConfig",         "DRV_AOVoltageOut",       "DRV_CounterEventStart",
    "DRV_CounterEventRead", "DRV_CounterReset",       "DRV_CounterPulseStart",
    "DRV_CounterFreqStart",
};

}  // namespace morvand::driverlib
