#pragma once
// One use of the console: the card back end chosen by its URI, the settings directory, the
// terminal host and the controller, created in that order and torn down in reverse (the
// controller's shutdown writes the settings files back).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console.hpp"
#include "morvand/backends.hpp"
#include "morvand/card_driver.hpp"
#include "morvand/clock.hpp"
#include "morvand/morvand.hpp"

namespace morvand::cli {

/// How fast simulated time runs against the wall clock.
struct Speed {
  bool max = true;      ///< as fast as possible
  double factor = 1.0;  ///< times real time when not max
};
/// Reads a decimal number as the controller's tables do; false when text is none.
bool parseNumber(const std::string& text, double& value);
/// Reads "max" or a positive number; UsageError otherwise.
Speed parseSpeed(const std::string& text);

/// Opens the back end of a URI through the back-end table; faults are simulator fault
/// names. UsageError for an unknown URI or fault, Failure for a card that cannot be opened.
std::unique_ptr<Backend> openCard(const std::string& uri, Speed speed, uint64_t seed,
                                  const std::vector<std::string>& faults);
/// The fault names of the simulated laser, for --help and error messages.
std::vector<std::string> faultNames();
/// UsageError when no back end serves uri's prefix.
void checkCardPrefix(const std::string& uri);
/// The back-end table as text, one line per back end ("--card help").
std::string backendHelp();

/// Options shared by every subcommand.
struct GlobalOptions {
  std::string card = "sim:1711";
  std::string dir = ".";
  std::string speed;  ///< "" = real time on a terminal, max otherwise
  std::vector<std::string> faults;
  std::string logPath;
  bool yes = false;
  bool no = false;
  uint64_t seed = 1;
};

/// The four settings files, in the order they are read.
const std::vector<std::string>& settingsFiles();

class Session {
 public:
  /// jsonOutput: standard output carries JSON only; events and boxes go to standard error.
  Session(const GlobalOptions& options, bool jsonOutput, bool defaultMaxSpeed = false);
  ~Session();

  /// The controller, created on first use from the settings files of the directory.
  Morvand& controller();
  /// Creates the controller and opens the card; Failure when no card answers.
  Morvand& startCard();
  Console& console() { return *console_; }
  bool interactive() const { return interactive_; }
  /// Connects an external trigger source of this rate to the laser, Hz.
  void setExternalTrigger(double hz) { backend_->setExternalTrigger(hz); }

 private:
  GlobalOptions options_;
  bool interactive_ = false;
  std::unique_ptr<Backend> backend_;
  std::unique_ptr<Console> console_;
  std::unique_ptr<Morvand> controller_;
};

/// Switches to dir (Failure when it does not exist).
void enterDirectory(const std::string& dir);

}  // namespace morvand::cli
