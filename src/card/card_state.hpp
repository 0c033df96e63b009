#pragma once
#include <array>
#include <cstdint>

namespace morvand::detail {

/// What card selection derives for this controller.
struct CardState {
  int16_t DeviceCount = 0;
  /// Lowest repetition rate of the card, Hz (16 on PCI-1710/1711, 1 on PCI-1712).
  int32_t RepRateMin = 0;
  /// Counter that counts the laser's trigger pulses (0 on PCI-1710/1711, 2 on PCI-1712).
  int16_t ExtTrigCounter = 0;
  /// Switch-off sequences in progress (they nest: Halt inside destruction, for example);
  /// 0 again while the host runs in a yield of one.
  int switchOffDepth = 0;
};

/// Marks a switch-off sequence for its lifetime: the card layer's commands then get their
/// second try.
class SwitchOffScope {
 public:
  explicit SwitchOffScope(int& depth) : depth_(depth) { ++depth_; }
  ~SwitchOffScope() { --depth_; }
  SwitchOffScope(const SwitchOffScope&) = delete;
  SwitchOffScope& operator=(const SwitchOffScope&) = delete;

 private:
  int& depth_;
};

/// Per-counter rate state, positions 0 to 2.
struct CounterState {
  std::array<bool, 3> CountActive{};
  std::array<int32_t, 3> CountNow{};
  std::array<double, 3> CountTime{};  ///< myTimer s of the last count increase
  std::array<int32_t, 3> CountPrev{};
  std::array<double, 3> CountPrevTime{};  ///< myTimer s of the last rate computation
  std::array<double, 3> CountFreq{};      ///< events per second
  int32_t Counter1Count = 0;
};

}  // namespace morvand::detail
