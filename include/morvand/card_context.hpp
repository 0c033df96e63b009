#pragma once
/// The card context: one per thread, shared by every controller of that thread. It holds the
/// driver in use, the open device, the last driver status and error text, the feature record,
/// the device list, the request records, and the card form whose lists store the card's
/// channels and ranges.

#include <array>
#include <memory>
#include <string>

#include "morvand/card_driver.hpp"
#include "morvand/host.hpp"

namespace morvand {

/// The hidden card form: storage for the card's lists.
struct CardForm {
  ListBox lstDevice;
  ListBox lstModule;
  ListBox lstChannelAi;
  ListBox lstVoltageRangeAi;
  ListBox lstChannelAO;
  ListBox lstVoltageRangeAO;
  ListBox lstChannelDin;
  ListBox lstChannelDO;
  ListBox lstChannelCount;
};

class CardContext {
 public:
  /// The context of the calling thread.
  static CardContext& current();

  /// Chooses the back end (nullptr: none; every driver call then fails with "no card driver").
  void setDriver(std::shared_ptr<CardDriver> driver);
  /// The back end in use (a stand-in that fails every call when none was set).
  CardDriver& driver();
  /// True when a back end was set.
  bool hasDriver() const { return driver_ != nullptr; }

  /// The card form, or nullptr before it was created by card start-up.
  CardForm* formIfCreated() { return form_.get(); }
  /// The card form; creates it on first use.
  CardForm& form();

  /// Returns the context to its zero state: no driver, no form, every record zero.
  void reset();

  int32_t DeviceHandle = 0;
  /// True while DeviceHandle holds a device a selection opened and nothing closed yet.
  bool deviceOpen = false;
  /// Output ports 0 to 3 as the successful port writes left their lines.
  std::array<int16_t, 4> outputLines{};
  /// Status of the last driver call, 0 = success.
  int32_t DriverStatus = 0;
  /// The driver's error text, up to the driver's terminator (at most 79 characters).
  std::string ErrorText;
  DeviceFeatures features{};
  std::array<DeviceListEntry, 256> deviceList{};

  // Request records: an operation sets the fields it needs; the others keep their values.
  PortModeRequest portMode{};
  PortWriteRequest portWrite{};
  PortReadRequest portRead{};
  AIConfigRequest aiConfig{};
  AIVoltageInRequest aiVoltageIn{};
  AOConfigRequest aoConfig{};
  CounterEventStartRequest counterStart{};
  CounterEventReadRequest counterRead{};

 private:
  std::shared_ptr<CardDriver> driver_;
  std::unique_ptr<CardForm> form_;
};

}  // namespace morvand
