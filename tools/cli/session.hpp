#pragma once
// One use of the console: the controller and its card back end (chosen by URI) on the
// controller thread, with the settings of the chosen directory, and the terminal host that
// shows its events and answers its questions. Closing the thread runs the controller's
// shutdown there, which writes the settings files back.

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "console.hpp"
#include "morvand/backends.hpp"
#include "morvand/card_driver.hpp"
#include "morvand/clock.hpp"
#include "morvand/controller_thread.hpp"
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

/// UsageError unless every fault is a simulator fault name and the card is simulated.
void checkFaults(const std::string& uri, const std::vector<std::string>& faults);
/// Opens the back end of a URI through the back-end table on a new controller thread whose
/// controller reads the settings of directory, then injects the simulator faults. UsageError
/// for an unknown URI or fault, Failure for a card that cannot be opened; the controller's
/// SettingsError passes through.
std::unique_ptr<ControllerThread> openController(const std::string& uri, Speed speed, uint64_t seed,
                                                 const std::vector<std::string>& faults,
                                                 const std::string& directory,
                                                 std::function<void()> onYield);
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
  /// Closes the controller through its thread: the destruction sequence runs there and
  /// writes the settings files back.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// Runs fn(controller) on the controller thread and waits for its result (rethrowing its
  /// exception). Meanwhile Ctrl-C reaches the running operation at once and the questions it
  /// asks are answered from standard input.
  template <class F>
  auto call(F&& fn) {
    return wait(thread_->submit(std::forward<F>(fn)));
  }
  /// Waits for a call submitted to the controller thread, as call() does.
  template <class T>
  T wait(std::future<T> future) {
    serveUntil([&] { return ready(future); });
    return future.get();
  }
  /// Until done() holds: answers questions from standard input and wakes the controller
  /// thread when Ctrl-C was pressed.
  void serveUntil(const std::function<bool()>& done);
  /// Lets a waiting controller thread look at what happened (Ctrl-C) at once.
  void wake();
  /// The questions waiting for a typed answer.
  AnswerChannel& answers() { return answers_; }

  /// Opens the card (StandardCard) through the controller thread; Failure when no card
  /// answers.
  void startCard();
  ControllerThread& thread() { return *thread_; }
  Console& console() { return *console_; }
  bool interactive() const { return interactive_; }

  /// True when future holds its result, waiting at most wait for it.
  template <class T>
  static bool ready(const std::future<T>& future,
                    std::chrono::milliseconds wait = std::chrono::milliseconds(20)) {
    return future.wait_for(wait) == std::future_status::ready;
  }

 private:
  GlobalOptions options_;
  bool interactive_ = false;
  AnswerChannel answers_;
  std::shared_ptr<Console> console_;
  // Last: closed (joined) before the console and the channel its handlers use are gone.
  std::unique_ptr<ControllerThread> thread_;
};

/// Switches to dir (Failure when it does not exist).
void enterDirectory(const std::string& dir);

}  // namespace morvand::cli
