// The driver library as a CardDriver: each operation copies the card layer's request into
// the record the library expects and calls the library's export of the same name.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>
#include <cstring>
#include <string>

#include "morvand/driverlib/backend.hpp"
#include "morvand/driverlib/library_abi.hpp"
#include "morvand/errors.hpp"

namespace morvand::driverlib {
namespace {

constexpr std::size_t kOperationCount = std::size(kOperationNames);

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

/// The system's text for a Windows error code, without the trailing line end.
std::string systemMessage(DWORD code) {
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n > 0 && buffer != nullptr ? std::string(buffer, n) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code)
                      : text + " (error " + std::to_string(code) + ")";
}

/// The loaded library; unloaded when the last user of the driver lets go of it.
class LibraryCard final : public CardDriver {
 public:
  LibraryCard(HMODULE module, const std::array<FARPROC, kOperationCount>& ops)
      : module_(module), ops_(ops) {}
  ~LibraryCard() override { FreeLibrary(module_); }
  LibraryCard(const LibraryCard&) = delete;
  LibraryCard& operator=(const LibraryCard&) = delete;

  int32_t DeviceGetList(DeviceListEntry* list, int16_t maxEntries, int16_t* entriesOut) override {
    return op<DeviceGetListFn>(kDeviceGetList)(list, maxEntries, entriesOut);
  }
  int32_t DeviceGetNumOfList(int16_t* count) override {
    return op<DeviceGetNumOfListFn>(kDeviceGetNumOfList)(count);
  }
  int32_t DeviceOpen(int32_t deviceNum, int32_t* handle) override {
    return op<DeviceOpenFn>(kDeviceOpen)(deviceNum, handle);
  }
  int32_t DeviceClose(int32_t* handle) override { return op<DeviceCloseFn>(kDeviceClose)(handle); }
  int32_t DeviceGetFeatures(int32_t handle, DeviceFeatures* features) override {
    BufferRequest r{features, 0};
    return op<DeviceGetFeaturesFn>(kDeviceGetFeatures)(handle, &r);
  }
  int32_t AIGetConfig(int32_t handle, AIConfigRecord* config) override {
    BufferRequest r{config, 0};
    return op<AIGetConfigFn>(kAIGetConfig)(handle, &r);
  }
  int32_t GetErrorMessage(int32_t status, char text[80]) override {
    // The library gets room to spare, and the caller's 80 bytes always end terminated,
    // whatever the library writes.
    char buffer[4 * kErrorTextBytes] = {};
    const int32_t result = op<GetErrorMessageFn>(kGetErrorMessage)(status, buffer);
    buffer[kErrorTextBytes - 1] = '\0';
    std::memcpy(text, buffer, kErrorTextBytes);
    return result;
  }
  int32_t DioSetPortMode(int32_t handle, const PortModeRequest& q) override {
    PortModeRecord r{q.port, q.direction};
    return op<DioSetPortModeFn>(kDioSetPortMode)(handle, &r);
  }
  int32_t DioWritePortByte(int32_t handle, const PortWriteRequest& q) override {
    PortWriteRecord r{q.port, q.mask, q.value};
    return op<DioWritePortByteFn>(kDioWritePortByte)(handle, &r);
  }
  int32_t DioReadPortByte(int32_t handle, const PortReadRequest& q) override {
    PortReadRecord r{q.port, q.value};
    return op<DioReadPortByteFn>(kDioReadPortByte)(handle, &r);
  }
  int32_t AIConfig(int32_t handle, const AIConfigRequest& q) override {
    AIConfigRecordRequest r{q.channel, q.gainCode};
    return op<AIConfigFn>(kAIConfig)(handle, &r);
  }
  int32_t AIVoltageIn(int32_t handle, const AIVoltageInRequest& q) override {
    AIVoltageInRecord r{q.channel, q.gainCode, q.trigMode, q.voltage};
    return op<AIVoltageInFn>(kAIVoltageIn)(handle, &r);
  }
  int32_t AOConfig(int32_t handle, const AOConfigRequest& q) override {
    AOConfigRecordRequest r{q.channel, q.maxVolts, q.minVolts};
    return op<AOConfigFn>(kAOConfig)(handle, &r);
  }
  int32_t AOVoltageOut(int32_t handle, const AOVoltageOutRequest& q) override {
    AOVoltageOutRecord r{q.channel, q.volts};
    return op<AOVoltageOutFn>(kAOVoltageOut)(handle, &r);
  }
  int32_t CounterEventStart(int32_t handle, const CounterEventStartRequest& q) override {
    CounterEventStartRecord r{q.counter, q.gateMode};
    return op<CounterEventStartFn>(kCounterEventStart)(handle, &r);
  }
  int32_t CounterEventRead(int32_t handle, const CounterEventReadRequest& q) override {
    CounterEventReadRecord r{q.counter, q.overflow, q.count};
    return op<CounterEventReadFn>(kCounterEventRead)(handle, &r);
  }
  int32_t CounterReset(int32_t handle, int16_t counter) override {
    return op<CounterResetFn>(kCounterReset)(handle, counter);
  }
  int32_t CounterPulseStart(int32_t handle, const CounterPulseStartRequest& q) override {
    CounterPulseStartRecord r{q.counter, q.period, q.highTime, q.gateMode};
    return op<CounterPulseStartFn>(kCounterPulseStart)(handle, &r);
  }
  int32_t CounterFreqStart(int32_t handle, const CounterFreqStartRequest& q) override {
    CounterFreqStartRecord r{q.counter, q.gatePeriod, q.gateMode};
    return op<CounterFreqStartFn>(kCounterFreqStart)(handle, &r);
  }

 private:
  // Positions in kOperationNames.
  enum Index : std::size_t {
    kDeviceGetList,
    kDeviceGetNumOfList,
    kDeviceOpen,
    kDeviceClose,
    kDeviceGetFeatures,
    kAIGetConfig,
    kGetErrorMessage,
    kDioSetPortMode,
    kDioWritePortByte,
    kDioReadPortByte,
    kAIConfig,
    kAIVoltageIn,
    kAOConfig,
    kAOVoltageOut,
    kCounterEventStart,
    kCounterEventRead,
    kCounterReset,
    kCounterPulseStart,
    kCounterFreqStart,
  };
  static_assert(kCounterFreqStart + 1 == kOperationCount);

  template <typename Fn>
  Fn op(Index i) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(ops_[i]));
  }

  HMODULE module_;
  std::array<FARPROC, kOperationCount> ops_;
};

class LibraryBackend final : public Backend {
 public:
  explicit LibraryBackend(std::shared_ptr<CardDriver> driver) : driver_(std::move(driver)) {}
  std::shared_ptr<CardDriver> driver() override { return driver_; }
  Clock& clock() override { return SystemClock::instance(); }

 private:
  std::shared_ptr<CardDriver> driver_;
};

}  // namespace

std::shared_ptr<CardDriver> loadDriverLibrary(const std::string& path) {
  const std::string name = path.empty() ? std::string(kDefaultLibrary) : path;
  // No system dialog about a missing file or a missing dependency: the caller hears why.
  DWORD oldMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  const bool hasDirectory = name.find_first_of("\\/") != std::string::npos;
  // A library given with its directory finds its own dependencies beside it.
  HMODULE module = LoadLibraryExW(widen(name).c_str(), nullptr,
                                  hasDirectory ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  const DWORD loadError = module == nullptr ? GetLastError() : 0;
  SetThreadErrorMode(oldMode, nullptr);
  if (module == nullptr) {
    throw BackendError("cannot load the card's driver library \"" + name +
                       "\": " + systemMessage(loadError));
  }
  std::array<FARPROC, kOperationCount> ops{};
  std::string missing;
  for (std::size_t i = 0; i < kOperationCount; ++i) {
    ops[i] = GetProcAddress(module, kOperationNames[i]);
    if (ops[i] == nullptr)
      missing += (missing.empty() ? "" : ", ") + std::string(kOperationNames[i]);
  }
  if (!missing.empty()) {
    FreeLibrary(module);
    throw BackendError("the card's driver library \"" + name + "\" has no operation " + missing);
  }
  return std::make_shared<LibraryCard>(module, ops);
}

std::unique_ptr<Backend> openBackend(const std::string& rest, const BackendOptions& options) {
  (void)options;  // a real card runs in real time
  return std::make_unique<LibraryBackend>(loadDriverLibrary(rest));
}

}  // namespace morvand::driverlib
