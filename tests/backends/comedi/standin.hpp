#pragma once
// A stand-in for comedilib in the tests: the library functions the comedi back end calls,
// implemented over models of the boards behind device nodes that the test installs. A board
// of the adv_pci1710 driver is wired to the simulated laser the way the card is wired to the
// laser: DO port 0 the control lines, DO port 1 the valves, AO 0/1 the charger and motor,
// AI the plant's channels, DI port 0 power, interlock and tachometer, counter 0's OUT the
// trigger input and its external clock pin the external trigger. Errors come back as
// comedi's error numbers, from the library or from the kernel as the real ones do.

#include <cstdint>
#include <memory>
#include <string>

#include "morvand/clock.hpp"
#include "morvand/sim/laser_plant.hpp"

namespace morvand::comedi_standin {

/// What a test can see of a board.
class Board {
 public:
  virtual ~Board() = default;
  /// The 16 DO lines as last written.
  virtual uint16_t doLines() const = 0;
  /// Volts on an analog output.
  virtual double aoVolts(int channel) const = 0;
  /// Rate of the pulse train on counter 0's OUT pin, Hz (0 when none).
  virtual double generatorRate() const = 0;
  /// Edges on counter 0's external clock pin added by the test (on top of the plant's
  /// external trigger pulses).
  virtual void addExternalEdges(uint64_t edges) = 0;
};

/// Installs a device node. driver "adv_pci1710" with board "pci1710", "pci1710hg",
/// "pci1711" or "pci1713" models that card; driver "comedi_test" the software-only device.
/// plant may be null (nothing is wired). Replaces a board at the same path.
Board& install(const std::string& path, const std::string& board,
               std::shared_ptr<sim::LaserPlant> plant, Clock& clock,
               const std::string& driver = "adv_pci1710");
/// Removes every device node (handles still open keep their board alive).
void uninstallAll();

}  // namespace morvand::comedi_standin
