#pragma once
/// What the host supplies to the controller (user-interface services), what the controller
/// raises toward the host (events), and the list controls the two exchange.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace morvand {

/// Message-box answers returned by HostServices::messageBox.
enum MsgAnswerCode : int16_t { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

/// Message-box styles: the buttons (low four bits) plus the icon (bits 4 to 6).
enum MsgStyleCode : int16_t {
  kStyleOk = 0,  ///< an OK button
  kStyleYesNoCancel = 3,
  kStyleYesNo = 4,
  kStyleStop = 16,     ///< stop icon
  kStyleWarning = 48,  ///< warning icon
  kStyleInfo = 64,     ///< information icon
  kStyleButtons = 0x0f,
  kStyleIcon = 0x70,
};

/// Values of flag2, the run request the run loop reads on every pass.
enum RunRequest : int16_t { kRunFire = 0, kRunStop = 1, kRunStandby = 2 };

/// User-interface services of the host. The controller shows nothing itself.
class HostServices {
 public:
  virtual ~HostServices() = default;
  /// Modal message box. style = buttons (0 OK, 3 Yes/No/Cancel, 4 Yes/No) + icon
  /// (16 stop, 48 warning, 64 information). Returns 1 OK, 2 Cancel, 6 Yes or 7 No.
  virtual int16_t messageBox(const std::string& text, int16_t style, const std::string& title) = 0;
  /// Modal text-entry prompt. Returns the entered text, "" when cancelled.
  virtual std::string inputBox(const std::string& prompt, const std::string& title,
                               const std::string& defaultText) = 0;
  /// Lets the host's event loop run; the host may call into the controller from here.
  virtual void yield() = 0;
  /// Optional: blocks until the controller's clock reads deadline (ns, the controller's
  /// Clock) or the host has work for the controller, whichever comes first, and returns true.
  /// A host that does not provide it returns false and the controller's waits keep to
  /// yielding and sleeping 1 ms per pass.
  virtual bool waitUntil(std::chrono::nanoseconds deadline) {
    (void)deadline;
    return false;
  }
  /// Audible signal.
  virtual void beep() = 0;
};

/// The controller's events. Every handler defaults to doing nothing; a host overrides the
/// ones it wants. Handlers run synchronously on the raising thread.
class Events {
 public:
  virtual ~Events() = default;
  /// Thyratron warm-up countdown (seconds left); set Cancel to end the warm-up.
  virtual void Warmingup(float WarmingTime, bool& Cancel);
  /// Once per firing pass: pulses of the current run and the last pulse energy.
  virtual void LaserRunning(int32_t mPulseNum, float mEnergy);
  /// Temperature (degC), pressure (Punits), high voltage (kV), filament (V), 12 V test (V).
  virtual void Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                            float mVoltTest);
  /// The valve pattern just written and the names of the open valves.
  virtual void ValveStatus(int16_t mValveState, const std::string& mValveString);
  /// External trigger rate (Hz) and a describing text.
  virtual void ExtRepRateRead(float mExtRepRate, const std::string& Msg);
  /// An operator message (when PopupMessage is False) or a progress text.
  virtual void LaserMessenger(const std::string& mLaserMessage);
  /// Declared for hosts; never raised.
  virtual void PCIcardSelect(int16_t& mlstDeviceIndex);
  /// State of the external start input.
  virtual void ExtStartState(bool mExtStartFlag);
  /// Motor mode applied and the identifier of the operation that applied it.
  virtual void MotorSelect(int16_t mMotorMode, int16_t mID);
  /// Measured motor speed, motor drive voltage and the 12 V test voltage.
  virtual void MotorRpmRead(double mMotorRPM, float mMotorV, float mMotorV24);
};

/// A host list box. An invalid index throws ListError.
class ListControl {
 public:
  virtual ~ListControl() = default;
  virtual void Clear() = 0;
  virtual void AddItem(const std::string& text) = 0;
  /// Position of the item added last (-1 when none was added since the last Clear).
  virtual int16_t NewIndex() const = 0;
  virtual int32_t ItemData(int16_t index) const = 0;
  virtual void SetItemData(int16_t index, int32_t data) = 0;
  virtual std::string List(int16_t index) const = 0;
  virtual void SetList(int16_t index, const std::string& text) = 0;
  /// Selected position, -1 when nothing is selected.
  virtual int16_t ListIndex() const = 0;
  /// Selects a position, -1 .. ListCount()-1.
  virtual void SetListIndex(int16_t index) = 0;
  virtual int16_t ListCount() const = 0;
  /// Text of the selected item, "" when nothing is selected.
  virtual std::string Text() const = 0;
  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

/// An in-memory list that appends; SetList beyond the end extends it.
class ListBox : public ListControl {
 public:
  void Clear() override;
  void AddItem(const std::string& text) override;
  int16_t NewIndex() const override { return newIndex_; }
  int32_t ItemData(int16_t index) const override;
  void SetItemData(int16_t index, int32_t data) override;
  std::string List(int16_t index) const override;
  void SetList(int16_t index, const std::string& text) override;
  int16_t ListIndex() const override { return listIndex_; }
  void SetListIndex(int16_t index) override;
  int16_t ListCount() const override { return static_cast<int16_t>(items_.size()); }
  std::string Text() const override;
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }

 private:
  struct Item {
    std::string text;
    int32_t data = 0;
  };
  void check(int16_t index) const;
  std::vector<Item> items_;
  int16_t listIndex_ = -1;
  int16_t newIndex_ = -1;
  bool enabled_ = true;
};

}  // namespace morvand
