#pragma once
/// PCI-1710, PCI-1710HG and PCI-1711 cards on Linux, through the kernel's comedi driver
/// (adv_pci1710) and comedilib: "comedi:/dev/comedi0", or "comedi:" for every supported
/// device found. Statuses are comedi error numbers (kernel errno values, or comedilib's own
/// codes from 0x1000); GetErrorMessage gives comedilib's text for them.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "morvand/backends.hpp"
#include "morvand/card_driver.hpp"
#include "morvand/clock.hpp"

struct comedi_t_struct;  // comedilib's device handle (comedi_t)

namespace morvand::comedi {

/// A comedi device node that this back end serves.
struct Device {
  std::string path;   ///< "/dev/comedi0"
  std::string board;  ///< comedi's board name: "pci1710", "pci1710hg" or "pci1711"
  std::string model;  ///< "PCI-1710", "PCI-1710HG" or "PCI-1711"
};

/// The devices at an address after "comedi:": "" scans /dev/comedi0 to /dev/comedi47 and
/// keeps the supported ones, "/dev/comediN" checks that node. BackendError saying why when
/// nothing usable is there (missing node, another driver, a board not served, a PCI-1712).
std::vector<Device> findDevices(const std::string& rest);

/// The card driver on comedilib. Device numbers are positions in the device list; handles
/// are small numbers of this back end.
class ComediCard final : public CardDriver {
 public:
  /// clock times the software-timed frequency measurement.
  ComediCard(std::vector<Device> devices, Clock& clock);
  /// Closes every device still open, outputs made safe first.
  ~ComediCard() override;
  ComediCard(const ComediCard&) = delete;
  ComediCard& operator=(const ComediCard&) = delete;

  const std::vector<Device>& devices() const { return devices_; }
  /// High time of the pulse train counter 0 produces, s (0 while it does not generate).
  double producedHighTime(int32_t handle) const;
  /// Software-timed rate of the edges on counter 0's clock pin since CounterFreqStart, Hz;
  /// a negative value when the counter is not measuring or the read fails.
  double measuredFrequency(int32_t handle);

  MORVAND_DRIVER_OVERRIDES

 private:
  enum class Role { Idle, Counting, Generating, Measuring };
  /// Counter 0 as the back end drives it: the 16-bit down-counter extended to 32 bits.
  struct Counter0 {
    Role role = Role::Idle;
    bool loaded = false;         // the first clock edge after the write has loaded the count
    uint16_t lastRaw = 0;        // count read last time
    uint64_t events = 0;         // edges since the start, the loading edge included
    uint64_t skipped = 0;        // decrements by the internal clock during analog readings
    bool loadedByEvent = false;  // an edge of the input loaded the count, not a clock tick
    bool overflow = false;       // a wrap happened that the reads could not account for
    double startSeconds = 0.0;
    double highTime = 0.0;  // s, while generating
  };
  struct Open {
    comedi_t_struct* dev = nullptr;
    const Device* device = nullptr;
    int16_t aiChannels = 0, aoChannels = 0, diLines = 0, doLines = 0, counters = 0;
    int16_t aiRanges = 0;
    bool aiDifferential = false;
    std::array<int16_t, 16> aiRange{};  // range index per analog input (the gain code)
    std::array<unsigned, 2> aoRange{};  // range index per analog output
    unsigned counterPeriodNs = 1000;    // counter 0's internal clock, as the driver reports it
    Counter0 counter0;
  };

  Open* find(int32_t handle);
  const Open* find(int32_t handle) const;
  int32_t checkCounter(const Open& o, int16_t counter) const;
  int32_t writeSafeOutputs(Open& o);
  /// Reads counter 0 and brings the count up to date; with spurious the decrements since the
  /// last read are internal-clock ticks, not events.
  int32_t readCounter0(Open& o, bool spurious);
  double seconds();

  std::vector<Device> devices_;
  Clock& clock_;
  std::map<int32_t, Open> open_;
  int32_t nextHandle_ = 1;
};

/// The back end of the "comedi:" table entry: the card on the system clock.
class ComediBackend final : public Backend {
 public:
  explicit ComediBackend(std::vector<Device> devices);
  std::shared_ptr<CardDriver> driver() override { return card_; }
  Clock& clock() override;

 private:
  std::shared_ptr<ComediCard> card_;
};

/// Factory of the "comedi:" table entry.
std::unique_ptr<Backend> openBackend(const std::string& rest, const BackendOptions& options);

/// For bringing up a card with the laser disconnected: describes the device at the address
/// (subdevices, ranges, counter clock) and reads every input once. Writes no output unless
/// writeOutputs, and then only the safe values (DO lines 0, AO 0 V, counter 0 reset).
/// Returns 0, or the comedi error number of the step that failed (described in out).
int probe(const std::string& rest, bool writeOutputs, std::ostream& out);

}  // namespace morvand::comedi
