#pragma once
/// One controller and its card back end on a thread of their own. Any thread submits calls
/// (a function of the controller) and gets a future; a call submitted while an operation runs
/// (a run, a refill, a warm-up) executes at that operation's next yield, as a host's event
/// handler would, so LaserStop from another thread stops a run within one pass; otherwise it
/// executes at once, in submission order. Events go to the subscribers on the controller
/// thread, questions to one handler. While the controller waits, its thread sleeps until the
/// deadline or the next submitted call.

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "morvand/backends.hpp"
#include "morvand/errors.hpp"
#include "morvand/host.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

/// A call submitted to a controller thread that is closed (or closing).
class ClosedError : public Error {
 public:
  using Error::Error;
};

/// Answers the controller's questions. Called on the controller thread; it may block until
/// another thread has the answer (the running operation waits for it).
class QuestionHandler {
 public:
  virtual ~QuestionHandler() = default;
  /// A message box; returns 1 OK, 2 Cancel, 6 Yes or 7 No.
  virtual int16_t messageBox(const std::string& text, int16_t style, const std::string& title) = 0;
  /// A prompt; returns the entered text, "" when cancelled.
  virtual std::string inputBox(const std::string& prompt, const std::string& title,
                               const std::string& defaultText) = 0;
};

/// The answer of a box nobody attends: No when it has a No button, Cancel when it has a
/// Cancel button, else OK.
int16_t unattendedAnswer(int16_t style);

/// Writes the settings files of a new installation into directory (created when missing):
/// model (designation, "LM-10") and gas ("KrF") always, the other files with their starting
/// values only when missing, so counters survive a change of gas. SettingsError for an unknown
/// model, a gas the model does not run on, or a file that cannot be written.
void writeSettingsFiles(const std::string& directory, const std::string& model,
                        const std::string& gas);

/// What a controller thread opens.
struct ControllerOptions {
  /// Address of the card back end ("sim:1711").
  std::string card = "sim:1711";
  /// Directory of the settings files; empty means ".", the directory the process started in,
  /// resolved when the thread opens.
  std::string directory;
  /// Speed and seed of a simulated card.
  BackendOptions backend;
  /// A simulated card running as fast as possible: a wait passes in the controller's own
  /// steps (a yield, a millisecond) instead of jumping to its deadline, so the simulated
  /// laser reads exactly as under a host without a sleeping wait (the console's scripts).
  bool waitInSteps = false;
  /// Optional: called on the controller thread at every yield of a running operation, after
  /// the calls submitted meanwhile (a host's own turn: a progress line, an interrupt check).
  /// An exception from it ends the running operation as a host's would and reaches the call
  /// that started it; during the destruction sequence it is ignored.
  std::function<void()> onYield;
};

class ControllerThread {
 public:
  /// Opens the back end, creates the controller on the new thread from the settings files of
  /// options.directory and, on a simulated card, installs the laser those files name. Throws
  /// what opening or construction throws (BackendError, SettingsError). No card is selected
  /// yet: the owner calls StandardCard.
  explicit ControllerThread(ControllerOptions options);
  /// Closes (see close()) and joins. From the controller thread itself (an event or question
  /// handler) the close is deferred until the running operation has returned.
  ~ControllerThread();
  ControllerThread(const ControllerThread&) = delete;
  ControllerThread& operator=(const ControllerThread&) = delete;

  /// Runs fn(controller) on the controller thread and gives its result (or exception) through
  /// the future. From the controller thread itself the call runs at once, before submit
  /// returns. On a closed thread the future holds ClosedError.
  template <class F>
  auto submit(F&& fn) -> std::future<std::invoke_result_t<std::decay_t<F>&, Morvand&>>;
  /// submit(fn).get(): waits for the result; rethrows the call's exception.
  template <class F>
  auto call(F&& fn) -> std::invoke_result_t<std::decay_t<F>&, Morvand&> {
    return submit(std::forward<F>(fn)).get();
  }

  /// Adds an event sink; its handlers run on the controller thread, in subscription order.
  /// An exception from a handler ends the running operation and reaches the call that
  /// started it. Returns an id for unsubscribe.
  int subscribe(std::shared_ptr<Events> sink);
  /// Removes a sink; it may still receive an event that is being delivered.
  void unsubscribe(int id);
  /// Sets the question handler (nullptr: every question gets unattendedAnswer, prompts "").
  void setQuestionHandler(std::shared_ptr<QuestionHandler> handler);

  /// Asks a running operation to stop (as the controller's destruction does), refuses calls
  /// not yet started (ClosedError), runs the destruction sequence on the controller thread
  /// (the settings files are written) and joins. From the controller thread itself the
  /// close is deferred until the running operation has returned. Idempotent.
  void close();
  /// True once close() was called.
  bool closing() const;
  /// True on the controller thread.
  bool onControllerThread() const;
  /// The settings directory in use (absolute).
  const std::string& directory() const;
  /// The back end. Use it on the controller thread only (inside a submitted call).
  Backend& backend();

 private:
  struct State;
  using Job = std::function<void(Morvand*)>;
  /// Queues job, or runs it at once on the controller thread; job(nullptr) when closed.
  void post(Job job);
  std::shared_ptr<State> state_;
};

template <class F>
auto ControllerThread::submit(F&& fn)
    -> std::future<std::invoke_result_t<std::decay_t<F>&, Morvand&>> {
  using R = std::invoke_result_t<std::decay_t<F>&, Morvand&>;
  auto promise = std::make_shared<std::promise<R>>();
  auto future = promise->get_future();
  auto function = std::make_shared<std::decay_t<F>>(std::forward<F>(fn));
  post([promise, function](Morvand* controller) {
    try {
      if (controller == nullptr) throw ClosedError("the controller is closed");
      if constexpr (std::is_void_v<R>) {
        (*function)(*controller);
        promise->set_value();
      } else {
        promise->set_value((*function)(*controller));
      }
    } catch (...) {
      promise->set_exception(std::current_exception());
    }
  });
  return future;
}

}  // namespace morvand
