#pragma once
/// Card back ends chosen by address: "sim:1711" (the simulated laser), and on machines that
/// have them "comedi:/dev/comedi0" (Linux) or "driver:" (the card's driver library).
/// One table of {prefix, factory, description} holds every back end; openBackend picks the
/// entry whose prefix starts the address and gives it the rest.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "morvand/card_driver.hpp"
#include "morvand/clock.hpp"

namespace morvand {

/// How a back end is opened.
struct BackendOptions {
  /// Simulated cards only: simulated seconds per wall second; 0 runs as fast as possible
  /// (time moves only when the controller waits or the host yields). Real cards run in
  /// real time whatever this says.
  double speed = 0.0;
  /// Simulated cards only: the seed of the laser's noise.
  uint64_t seed = 1;
};

/// An open card back end: the driver the controller talks to and the clock it runs on.
/// Give driver() to CardContext::current().setDriver() and &clock() to the controller; the
/// back end must outlive both.
class Backend {
 public:
  virtual ~Backend() = default;
  /// The card driver.
  virtual std::shared_ptr<CardDriver> driver() = 0;
  /// The clock the controller must run on (a simulated card's own time, or the system clock).
  virtual Clock& clock() = 0;
  /// One turn of the host's event loop: on a simulated card a little laser time passes (so
  /// polling loops progress); a real card does nothing.
  virtual void step() {}
  /// True for a simulated card.
  virtual bool simulated() const { return false; }
  /// Simulated cards: installs the laser head of this model and gas code.
  virtual void installLaser(int16_t model, int16_t gas) {
    (void)model;
    (void)gas;
  }
  /// Simulated cards: connects an external trigger source of this rate, Hz (0: none).
  virtual void setExternalTrigger(double hz) { (void)hz; }
  /// Simulated cards: the names of the faults that can be injected ("premix-empty").
  virtual std::vector<std::string> faultNames() const { return {}; }
  /// Simulated cards: switches a fault on or off; false for an unknown name or a real card.
  virtual bool setFault(const std::string& name, bool on) {
    (void)name;
    (void)on;
    return false;
  }
};

/// Opens the back end at address. `rest` is the address after the prefix.
using BackendFactory = std::unique_ptr<Backend> (*)(const std::string& rest,
                                                    const BackendOptions& options);

/// One entry of the back-end table.
struct BackendEntry {
  std::string prefix;       ///< "sim:", "comedi:", "driver:"
  BackendFactory open;      ///< throws BackendError when the address cannot be opened
  std::string description;  ///< one line for --card help
};

/// Every back end known to this process, built-in ones first, in table order.
std::vector<BackendEntry> backends();
/// Adds a back end (a plug-in or a test double); an entry with the same prefix is replaced.
void registerBackend(BackendEntry entry);
/// Opens the back end of uri; BackendError for an unknown prefix or an address the back end
/// refuses, with a message that says why.
std::unique_ptr<Backend> openBackend(const std::string& uri, const BackendOptions& options = {});

}  // namespace morvand
