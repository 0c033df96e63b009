#pragma once
// The controller's host on a terminal: message boxes become prompts, events become lines,
// long operations get a live progress line, and Ctrl-C steers a running operation.

#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "morvand/clock.hpp"
#include "morvand/controller_thread.hpp"
#include "morvand/host.hpp"

namespace morvand {
class Morvand;
}

namespace morvand::cli {

/// The operation failed or was refused (exit code 1); the text is the reason.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The command line was wrong (exit code 2).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A prompt nobody can answer came back after its offered answer and a cancel were both
/// refused: the operation cannot go on (exit code 1).
class Unanswered : public Failure {
 public:
  using Failure::Failure;
};

/// A second Ctrl-C ended an operation that has no stop of its own.
class Interrupted : public std::runtime_error {
 public:
  Interrupted() : std::runtime_error("interrupted") {}
};

/// The pulse budget that stands for continuous operation.
inline constexpr int32_t kContinuousPulses = 50000000;

/// How questions are answered when no person is asked.
enum class Answers { Ask, Yes, No };

/// What the controller is busy with, for the progress line and for Ctrl-C.
enum class Activity { Idle, Run, Warmup, Gas, Other };

/// Installs the Ctrl-C handler (counts presses; a third press while busy ends the program).
void installInterruptHandler();
/// Ctrl-C presses counted since the last activity began.
int interruptPresses();
/// One line of standard input; std::nullopt at its end or when Ctrl-C interrupted the read.
std::optional<std::string> readLine();

/// Hands a line the operator typed from the thread that reads the terminal to a question
/// asked on the controller thread, which waits for it.
class AnswerChannel {
 public:
  /// The asking side: waits for the answer (std::nullopt: end of input, or Ctrl-C).
  std::optional<std::string> await();
  /// True while a question waits for its answer.
  bool waiting() const;
  /// The reading side: answers the waiting question (nothing happens when none waits).
  void answer(std::optional<std::string> text);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool waiting_ = false;
  bool answered_ = false;
  std::optional<std::string> answer_;
};

/// The host of a controller on a terminal. On the controller thread it is the question
/// handler, an event sink and, through ControllerOptions::onYield, the host's turn at each
/// yield; its lines may also be printed from the thread that reads the terminal.
class Console : public HostServices, public Events, public QuestionHandler {
 public:
  struct Options {
    Answers answers = Answers::Ask;
    /// A person can answer on standard input.
    bool interactive = false;
    /// Standard output is a terminal: show the progress line.
    bool progress = false;
    /// Events and boxes go to this stream (standard error when standard output is JSON).
    std::ostream* out = nullptr;
    /// CSV file for Measurements and LaserRunning events ("" = none).
    std::string logPath;
  };

  Console(Options options, Clock& clock);
  ~Console() override;

  /// The controller the console steers on Ctrl-C (nullptr: none yet).
  void attach(Morvand* controller) { controller_ = controller; }
  /// Answers typed by a person come through channel (read by another thread) instead of
  /// being read from standard input by the asking thread; nullptr: standard input again.
  void answerThrough(AnswerChannel* channel) { channel_ = channel; }
  /// Called on every yield to let the laser (simulator) time move on.
  std::function<void()> onYield;

  /// Starts an activity: clears the interrupt count and the messages seen so far.
  void begin(Activity activity, std::string label);
  /// Ends the activity and clears the progress line.
  void end();

  /// A box or operator message as the operator saw it.
  struct Notice {
    std::string text;
    std::string title;
    int16_t style = 0;   ///< -1: a LaserMessenger event
    int16_t answer = 0;  ///< the operator's answer to a box
  };
  const std::vector<Notice>& notices() const { return notices_; }
  /// True when the operator answered a question No or Cancel during the activity.
  bool declined() const;
  /// True when a box with a stop icon was shown during the activity.
  bool stopped() const;
  /// A question answered No or Cancel, else the last box with a warning or stop icon, else
  /// the last message; "" when none.
  std::string lastProblem() const;
  /// The last Measurements event (all -1 when the head is unplugged or unpowered).
  struct Reading {
    bool seen = false;
    float temp = 0, pressure = 0, hvoltage = 0, filament = 0, supply = 0;
  } lastReading;
  /// The first Measurements event of the activity (the status poll's own reading).
  Reading firstReading;
  int32_t lastPulses = 0;
  float lastEnergy = 0.0f;
  /// True when Ctrl-C was pressed during the current activity.
  bool interrupted() const { return handled_ > 0; }
  /// Prints one line, keeping the progress line intact.
  void line(const std::string& text);

  // --- HostServices ---
  int16_t messageBox(const std::string& text, int16_t style, const std::string& title) override;
  std::string inputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override;
  void yield() override;
  void beep() override;

  // --- Events ---
  void Warmingup(float WarmingTime, bool& Cancel) override;
  void LaserRunning(int32_t mPulseNum, float mEnergy) override;
  void Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                    float mVoltTest) override;
  void ValveStatus(int16_t mValveState, const std::string& mValveString) override;
  void ExtRepRateRead(float mExtRepRate, const std::string& Msg) override;
  void LaserMessenger(const std::string& mLaserMessage) override;

 private:
  double seconds();
  void handleInterrupts();
  void drawProgress();
  void clearProgress();
  int16_t ask(const std::string& text, int16_t style, const std::string& title);
  std::optional<std::string> readAnswer(const std::string& promptText);
  void log(const std::string& event, const std::string& values);

  Options options_;
  Clock& clock_;
  Morvand* controller_ = nullptr;
  AnswerChannel* channel_ = nullptr;
  /// Lines and the progress line come from the controller thread and the terminal's reader.
  std::recursive_mutex output_;
  std::ofstream log_;
  std::vector<Notice> notices_;
  Activity activity_ = Activity::Idle;
  std::string label_;
  int handled_ = 0;
  int readings_ = 0;
  bool cancelWarmup_ = false;
  float warmLeft_ = -1.0f;
  std::string valves_;
  double valvesSince_ = 0.0;
  double start_ = 0.0;
  int64_t lastDrawNs_ = 0;
  bool progressShown_ = false;
  /// The prompt last answered for nobody, and how often it came straight back (no yield in
  /// between: the controller refused the answer and asked again).
  std::string unattendedPrompt_;
  int unattendedRepeats_ = 0;
};

}  // namespace morvand::cli
