#include "session.hpp"

#include <unistd.h>

#include <csignal>
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

namespace {

// The controller thread starts with Ctrl-C blocked, so the signal always reaches the thread
// that reads the terminal: a prompt waiting there returns on Ctrl-C, and the controller
// thread's own writes are never interrupted.
class InterruptsBlocked {
 public:
  InterruptsBlocked() {
#ifndef _WIN32
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, &saved_);
#endif
  }
  ~InterruptsBlocked() {
#ifndef _WIN32
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
#endif
  }
  InterruptsBlocked(const InterruptsBlocked&) = delete;
  InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;

 private:
#ifndef _WIN32
  sigset_t saved_{};
#endif
};

}  // namespace

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
  checkCardPrefix(options.card);
  checkFaults(options.card, options.faults);
  // The log is named relative to where the command was given, before --dir applies.
  std::string logPath = options.logPath;
  if (!logPath.empty()) logPath = std::filesystem::absolute(logPath).string();
  enterDirectory(options.dir);

  installInterruptHandler();
  try {
    InterruptsBlocked blocked;
    // The host's turn at every yield of a running operation: the progress line, Ctrl-C.
    thread_ = openController(options.card, speed, options.seed, options.faults,
                             std::filesystem::current_path().string(), [this] {
                               if (console_) console_->yield();
                             });
  } catch (const SettingsError& e) {
    throw Failure(std::string(e.what()) + " in " + options_.dir +
                  " (create the settings with: morvand --dir " + options_.dir +
                  " init --model MODEL --gas GAS)");
  }

  Console::Options c;
  c.answers = options.yes ? Answers::Yes : options.no ? Answers::No : Answers::Ask;
  c.interactive = interactive_;
  c.progress = terminal && !jsonOutput;
  c.out = jsonOutput ? &std::cerr : &std::cout;
  c.logPath = logPath;
  // Made on the controller thread: its clock is the back end's.
  console_ = thread_->call([&](Morvand& m) {
    auto console = std::make_shared<Console>(c, thread_->backend().clock());
    console->attach(&m);
    return console;
  });
  console_->answerThrough(&answers_);
  thread_->subscribe(console_);
  thread_->setQuestionHandler(console_);
}

Session::~Session() {
  // The shutdown sequence waits and reports through the console. Nobody serves the
  // terminal while the thread closes: a question then reads standard input itself.
  try {
    call([this](Morvand&) {
      console_->answerThrough(nullptr);
      console_->begin(Activity::Other, "shutdown");
    });
  } catch (const std::exception&) {
    // Closed already: the close below only joins.
  }
  thread_->close();
  console_->end();
}

void Session::serveUntil(const std::function<bool()>& done) {
  int seen = interruptPresses();
  while (!done()) {
    if (interruptPresses() != seen) {
      seen = interruptPresses();
      wake();
    }
    if (answers_.waiting()) answers_.answer(readLine());
  }
}

void Session::wake() {
  // An empty call: a waiting controller wakes for it and yields, which looks at Ctrl-C.
  (void)thread_->submit([](Morvand&) {});
}

void Session::startCard() {
  call([this](Morvand& m) {
    // Boxes let the console ask the operator the procedures' questions; progress texts
    // still arrive as events.
    m.PopupMessage = true;
    if (!m.StandardCard()) {
      throw Failure("no card answered on " + options_.card +
                    (console_->lastProblem().empty() ? "" : ": " + console_->lastProblem()));
    }
    m.Punits = 3;  // Torr, the unit of every limit the console shows
  });
}

}  // namespace morvand::cli
