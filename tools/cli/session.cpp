#include "session.hpp"

#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "morvand/card_context.hpp"
#include "morvand/reflection.hpp"

namespace morvand::cli {

bool parseNumber(const std::string& text, double& value) {
  try {
    value = std::get<double>(reflection::fromText(reflection::Type::Double, text));
    return true;
  } catch (const reflection::ValueError&) {
    return false;
  }
}

Speed parseSpeed(const std::string& text) {
  if (text == "max") return Speed{true, 1.0};
  double factor = 0.0;
  if (!parseNumber(text, factor) || !(factor > 0.0) || factor > 1e9) {
    throw UsageError("--speed must be a positive number or \"max\", not \"" + text + "\"");
  }
  return Speed{false, factor};
}

const std::vector<std::string>& settingsFiles() {
  static const std::vector<std::string> names{"Paramdata", "Typedata", "Counter", "Industrial"};
  return names;
}

void enterDirectory(const std::string& dir) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    throw Failure("the settings directory " + dir + " does not exist");
  }
  std::filesystem::current_path(dir, ec);
  if (ec) throw Failure("cannot enter " + dir + ": " + ec.message());
}

Session::Session(const GlobalOptions& options, bool jsonOutput, bool defaultMaxSpeed)
    : options_(options) {
  const bool terminal = isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0;
  interactive_ = isatty(STDIN_FILENO) != 0;
  Speed speed;
  if (!options.speed.empty()) {
    speed = parseSpeed(options.speed);
  } else {
    speed = (terminal && !defaultMaxSpeed) ? Speed{false, 1.0} : Speed{true, 1.0};
  }
  backend_ = openCard(options.card, speed, options.seed, options.faults);
  // The log is named relative to where the command was given, before --dir applies.
  std::string logPath = options.logPath;
  if (!logPath.empty()) logPath = std::filesystem::absolute(logPath).string();
  enterDirectory(options.dir);

  Console::Options c;
  c.answers = options.yes ? Answers::Yes : options.no ? Answers::No : Answers::Ask;
  c.interactive = interactive_;
  c.progress = terminal && !jsonOutput;
  c.out = jsonOutput ? &std::cerr : &std::cout;
  c.logPath = logPath;
  console_ = std::make_unique<Console>(c, backend_->clock());
  console_->onYield = [this] { backend_->step(); };
  installInterruptHandler();
}

Session::~Session() {
  // The shutdown sequence waits and reports through the console: it goes first.
  if (controller_) {
    console_->begin(Activity::Other, "shutdown");
    controller_.reset();
    console_->end();
  }
  CardContext::current().reset();
}

Morvand& Session::controller() {
  if (controller_) return *controller_;
  CardContext::current().setDriver(backend_->driver());
  try {
    controller_ = std::make_unique<Morvand>(*console_, console_.get(), &backend_->clock());
  } catch (const SettingsError& e) {
    std::string dir = options_.dir;
    throw Failure(std::string(e.what()) + " in " + dir +
                  " (create the settings with: morvand --dir " + dir +
                  " init --model MODEL --gas GAS)");
  }
  console_->attach(controller_.get());
  backend_->installLaser(controller_->LaserTypeFlag, controller_->GasFlag);
  return *controller_;
}

Morvand& Session::startCard() {
  Morvand& m = controller();
  // Boxes let the console ask the operator the procedures' questions; progress texts still
  // arrive as events.
  m.PopupMessage = true;
  if (!m.StandardCard()) {
    throw Failure("no card answered on " + options_.card +
                  (console_->lastProblem().empty() ? "" : ": " + console_->lastProblem()));
  }
  m.Punits = 3;  // Torr, the unit of every limit the console shows
  return m;
}

}  // namespace morvand::cli
