#include "console.hpp"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <utility>

#include "morvand/morvand.hpp"

namespace morvand::cli {
namespace {

std::atomic<int> g_presses{0};
std::atomic<bool> g_busy{false};

extern "C" void onInterrupt(int) {
#ifdef _WIN32
  std::signal(SIGINT, onInterrupt);  // the Windows run time resets a handler once it ran
#endif
  const int presses = ++g_presses;
  // A third press while something runs means the operator wants out whatever it costs.
  if (presses >= 3 && g_busy.load()) {
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
  }
}

std::string fixed(double value, int decimals) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(decimals) << value;
  return s.str();
}

std::string iconWord(int16_t style) {
  switch (style & kStyleIcon) {
    case kStyleStop:
      return "STOP";
    case kStyleWarning:
      return "WARNING";
    case kStyleInfo:
      return "INFO";
    default:
      return "";
  }
}

}  // namespace

std::optional<std::string> readLine() {
  std::string text;
  if (!std::getline(std::cin, text)) {
    std::cin.clear();
    return std::nullopt;
  }
  return text;
}

int interruptPresses() { return g_presses.load(); }

std::optional<std::string> AnswerChannel::await() {
  std::unique_lock lock(mutex_);
  waiting_ = true;
  answered_ = false;
  changed_.wait(lock, [&] { return answered_; });
  waiting_ = false;
  answered_ = false;
  return std::exchange(answer_, std::nullopt);
}

bool AnswerChannel::waiting() const {
  std::lock_guard lock(mutex_);
  return waiting_ && !answered_;
}

void AnswerChannel::answer(std::optional<std::string> text) {
  std::lock_guard lock(mutex_);
  if (!waiting_ || answered_) return;
  answer_ = std::move(text);
  answered_ = true;
  changed_.notify_all();
}

void installInterruptHandler() {
#ifdef _WIN32
  std::signal(SIGINT, onInterrupt);
#else
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a prompt waiting for input returns on Ctrl-C
  sigaction(SIGINT, &action, nullptr);
#endif
}

Console::Console(Options options, Clock& clock) : options_(std::move(options)), clock_(clock) {
  if (options_.out == nullptr) options_.out = &std::cout;
  start_ = seconds();
  if (!options_.logPath.empty()) {
    log_.open(options_.logPath, std::ios::out | std::ios::trunc);
    if (!log_) throw Failure("cannot write the log file " + options_.logPath);
    log_ << "time_s,event,pulse,energy,temp_C,pressure,hvoltage_kV,filament_V,supply_V\n";
  }
}

Console::~Console() { clearProgress(); }

double Console::seconds() { return std::chrono::duration<double>(clock_.now()).count(); }

void Console::begin(Activity activity, std::string label) {
  activity_ = activity;
  label_ = std::move(label);
  handled_ = 0;
  g_presses = 0;
  g_busy = activity != Activity::Idle;
  cancelWarmup_ = false;
  warmLeft_ = -1.0f;
  notices_.clear();
  readings_ = 0;
  firstReading = {};
  lastReading = {};
  unattendedPrompt_.clear();
}

void Console::end() {
  clearProgress();
  activity_ = Activity::Idle;
  g_busy = false;
}

bool Console::declined() const {
  for (const Notice& n : notices_) {
    if (n.answer == kAnswerNo || n.answer == kAnswerCancel) return true;
  }
  return false;
}

bool Console::stopped() const {
  for (const Notice& n : notices_) {
    if (n.style >= 0 && (n.style & kStyleIcon) == kStyleStop) return true;
  }
  return false;
}

std::string Console::lastProblem() const {
  for (auto it = notices_.rbegin(); it != notices_.rend(); ++it) {
    if (it->answer == kAnswerNo || it->answer == kAnswerCancel) {
      return std::string(it->answer == kAnswerNo ? "answered No to " : "cancelled at ") +
             (it->title.empty() ? it->text : it->title);
    }
  }
  for (auto it = notices_.rbegin(); it != notices_.rend(); ++it) {
    const int icon = it->style & kStyleIcon;
    if (it->style >= 0 && (icon == kStyleStop || icon == kStyleWarning)) {
      return it->title.empty() ? it->text : it->title + ": " + it->text;
    }
  }
  return notices_.empty() ? std::string() : notices_.back().text;
}

void Console::line(const std::string& text) {
  std::lock_guard lock(output_);
  clearProgress();
  *options_.out << text << '\n' << std::flush;
}

void Console::clearProgress() {
  std::lock_guard lock(output_);
  if (progressShown_) {
    std::cout << "\r\033[K" << std::flush;
    progressShown_ = false;
  }
}

void Console::drawProgress() {
  if (!options_.progress || activity_ == Activity::Idle) return;
  const int64_t wall = std::chrono::steady_clock::now().time_since_epoch().count();
  std::lock_guard lock(output_);
  if (wall - lastDrawNs_ < 100'000'000) return;  // ten redraws a second are enough
  lastDrawNs_ = wall;
  std::string text = label_ + ":";
  const double elapsed = seconds() - start_;
  switch (activity_) {
    case Activity::Run:
      // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) about "literal" + temporary.
      text.append(" pulse ").append(std::to_string(lastPulses));
      if (controller_ != nullptr && controller_->MaxNum > 0 &&
          controller_->MaxNum < kContinuousPulses) {
        text.append("/").append(std::to_string(controller_->MaxNum));
      }
      text.append("  energy ").append(fixed(lastEnergy, 3));
      break;
    case Activity::Warmup:
      if (warmLeft_ >= 0)
        text.append(" ").append(fixed(warmLeft_, 0)).append(" s left (Ctrl-C cancels)");
      break;
    case Activity::Gas:
      // The valves in use name the phase (pump-out, fill, purge); its length so far says
      // how far it has come.
      if (!valves_.empty())
        text += " " + valves_ + " for " + fixed(seconds() - valvesSince_, 0) + " s";
      break;
    default:
      break;
  }
  if (controller_ != nullptr) text += "  P " + fixed(controller_->Pressure, 0) + " Torr";
  text += "  t " + fixed(elapsed, 1) + " s";
  std::cout << "\r\033[K" << text << std::flush;
  progressShown_ = true;
}

void Console::handleInterrupts() {
  const int presses = g_presses.load();
  while (handled_ < presses) {
    ++handled_;
    if (activity_ == Activity::Run && controller_ != nullptr) {
      if (handled_ == 1) {
        line("Ctrl-C: stopping the laser (press again to halt)");
        controller_->LaserStop();
      } else {
        line("Ctrl-C: halt");
        controller_->Halt();
      }
    } else if (activity_ == Activity::Warmup) {
      if (handled_ == 1) {
        line("Ctrl-C: cancelling the warm-up");
        cancelWarmup_ = true;
      } else {
        throw Interrupted();
      }
    } else if (activity_ != Activity::Idle) {
      if (handled_ == 1) {
        line(
            "Ctrl-C: this procedure has no safe stop; press again to abort it and close every "
            "valve");
      } else {
        throw Interrupted();
      }
    }
  }
}

void Console::yield() {
  unattendedPrompt_.clear();  // a prompt after this is a new question, not a repeat
  if (onYield) onYield();
  handleInterrupts();
  drawProgress();
}

void Console::beep() {
  std::lock_guard lock(output_);
  if (options_.progress) std::cout << '\a' << std::flush;
}

std::optional<std::string> Console::readAnswer(const std::string& promptText) {
  {
    std::lock_guard lock(output_);
    clearProgress();
    *options_.out << promptText << std::flush;
  }
  std::optional<std::string> answer;
  if (channel_ != nullptr) {
    answer = channel_->await();
  } else {
    answer = readLine();
  }
  // End of input (or Ctrl-C at the prompt): nobody is there to answer.
  if (!answer) line("");
  return answer;
}

int16_t Console::messageBox(const std::string& text, int16_t style, const std::string& title) {
  notices_.push_back({text, title, style, 0});
  const int16_t answer = ask(text, style, title);
  notices_.back().answer = answer;
  return answer;
}

int16_t Console::ask(const std::string& text, int16_t style, const std::string& title) {
  const int buttons = style & kStyleButtons;
  const std::string icon = iconWord(style);
  const std::string head = (icon.empty() ? "" : icon + " ") + (title.empty() ? "" : title + ": ");
  if (buttons != kStyleYesNoCancel && buttons != kStyleYesNo) {
    line(head + text);
    return kAnswerOk;
  }
  const bool threeWay = buttons == kStyleYesNoCancel;
  line(head + text);
  if (options_.answers == Answers::Yes) {
    line("  -> Yes (--yes)");
    return kAnswerYes;
  }
  if (options_.answers == Answers::No) {
    line("  -> No (--no)");
    return kAnswerNo;
  }
  if (!options_.interactive) {
    line("  -> No (nobody to ask; give --yes to answer Yes)");
    return kAnswerNo;
  }
  for (;;) {
    const auto answer = readAnswer(threeWay ? "[Y]es/[N]o/[C]ancel? " : "[Y]es/[N]o? ");
    if (!answer) return threeWay ? kAnswerCancel : kAnswerNo;
    const char c = answer->empty() ? '\0' : static_cast<char>(std::tolower(answer->front()));
    if (c == 'y') return kAnswerYes;
    if (c == 'n') return kAnswerNo;
    if (c == 'c' && threeWay) return kAnswerCancel;
  }
}

std::string Console::inputBox(const std::string& prompt, const std::string& title,
                              const std::string& defaultText) {
  const std::string head = (title.empty() ? "" : title + ": ") + prompt;
  if (options_.answers != Answers::Ask || !options_.interactive) {
    // The same prompt straight back means the controller refused what was offered; giving
    // it again would loop for ever. Cancel instead, and if that is refused too the
    // operation cannot go on without a person.
    const std::string key = title + '\n' + prompt + '\n' + defaultText;
    unattendedRepeats_ = key == unattendedPrompt_ ? unattendedRepeats_ + 1 : 0;
    unattendedPrompt_ = key;
    if (unattendedRepeats_ == 0) {
      line(head + " -> " + defaultText + " (default)");
      return defaultText;
    }
    if (unattendedRepeats_ == 1) {
      line(head + " -> cancelled (" + defaultText + " was refused and nobody can answer)");
      return {};
    }
    line(head + " -> nobody can answer");
    throw Unanswered("nobody can answer " + (title.empty() ? prompt : title) + ": " + defaultText +
                     " and a cancel were both refused");
  }
  const auto answer = readAnswer(head + " [" + defaultText + "]: ");
  return !answer || answer->empty() ? defaultText : *answer;
}

void Console::log(const std::string& event, const std::string& values) {
  if (!log_) return;
  log_ << fixed(seconds() - start_, 3) << ',' << event << ',' << values << '\n';
}

void Console::Warmingup(float WarmingTime, bool& Cancel) {
  warmLeft_ = WarmingTime;
  if (cancelWarmup_) Cancel = true;
  drawProgress();
}

void Console::LaserRunning(int32_t mPulseNum, float mEnergy) {
  lastPulses = mPulseNum;
  lastEnergy = mEnergy;
  log("LaserRunning", std::to_string(mPulseNum) + "," + fixed(mEnergy, 4) + ",,,,,");
}

void Console::Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                           float mVoltTest) {
  lastReading = {true, mtemp, mPressure, mHVoltage, mFilaVolt, mVoltTest};
  if (++readings_ == 1) firstReading = lastReading;
  log("Measurements", ",," + fixed(mtemp, 2) + "," + fixed(mPressure, 1) + "," +
                          fixed(mHVoltage, 3) + "," + fixed(mFilaVolt, 2) + "," +
                          fixed(mVoltTest, 2));
  // A run and a warm-up measure once a second: the progress line (or the log) carries those.
  if (activity_ == Activity::Warmup && readings_ > 1) return;
  if (activity_ == Activity::Run && options_.progress) return;
  line("measurements: temp " + fixed(mtemp, 1) + " C, pressure " + fixed(mPressure, 0) + ", HV " +
       fixed(mHVoltage, 2) + " kV, filament " + fixed(mFilaVolt, 2) + " V, supply " +
       fixed(mVoltTest, 2) + " V");
}

void Console::ValveStatus(int16_t mValveState, const std::string& mValveString) {
  const std::string valves = mValveString.empty() ? "closed" : mValveString;
  if (valves != valves_) valvesSince_ = seconds();
  valves_ = valves;
  line("valves: " + valves_ + " (" + std::to_string(mValveState) + ")");
}

void Console::ExtRepRateRead(float mExtRepRate, const std::string& Msg) {
  line("external trigger: " + fixed(mExtRepRate, 1) + " Hz" + (Msg.empty() ? "" : ", " + Msg));
}

void Console::LaserMessenger(const std::string& mLaserMessage) {
  // The run repeats "Laser Standby" every pass while paused: show it once.
  if (!notices_.empty() && notices_.back().style == -1 && notices_.back().text == mLaserMessage &&
      activity_ == Activity::Run) {
    return;
  }
  notices_.push_back({mLaserMessage, {}, -1, 0});
  line(mLaserMessage);
}

}  // namespace morvand::cli
