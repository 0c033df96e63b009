// The controller thread: a queue of calls, a host whose yield runs the calls submitted
// meanwhile and whose wait sleeps until the deadline or the next call, and an event sink that
// fans out to the subscribers.

#include "morvand/controller_thread.hpp"

#include <atomic>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "morvand/card_context.hpp"
#include "morvand/models.hpp"

namespace morvand {

int16_t unattendedAnswer(int16_t style) {
  switch (style & 7) {
    case 1:  // OK, Cancel
    case 5:  // Retry, Cancel
      return kAnswerCancel;
    case 2:  // Abort, Retry, Ignore
    case 3:  // Yes, No, Cancel
    case 4:  // Yes, No
      return kAnswerNo;
    default:
      return kAnswerOk;
  }
}

void writeSettingsFiles(const std::string& directory, const std::string& model,
                        const std::string& gas) {
  const auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  const ModelInfo* info = nullptr;
  for (const ModelInfo& m : allModels()) {
    if (upper(m.designation) == upper(model)) info = &m;
  }
  if (info == nullptr) throw SettingsError("Typedata", "no laser model \"" + model + "\"");
  const GasInfo* gasInfo = nullptr;
  for (const GasInfo& g : gases()) {
    if (upper(g.name) == upper(gas)) gasInfo = &g;
  }
  if (gasInfo == nullptr || info->gasFor(gasInfo->code) != gasInfo->code) {
    throw SettingsError("Typedata",
                        std::string(info->designation) + " does not run on \"" + gas + "\"");
  }
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  const auto write = [&](const char* name, const std::string& line, bool always) {
    const std::filesystem::path path = std::filesystem::path(directory) / name;
    if (!always && std::filesystem::exists(path)) return;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << line << "\r\n";
    if (!out.flush()) throw SettingsError(name, "cannot write " + path.string());
  };
  write("Paramdata", "25,0,0,0", false);
  write("Typedata", std::to_string(info->code) + "," + std::to_string(gasInfo->code), true);
  write("Counter", "0,0", false);
  write("Industrial", "0", false);
}

struct ControllerThread::State final : HostServices, Events {
  ControllerOptions options;
  std::unique_ptr<Backend> backend;
  std::unique_ptr<Morvand> controller;
  std::thread thread;
  std::atomic<std::thread::id> threadId{};

  std::mutex mutex;  // guards queue and the wake-up of a waiting controller
  std::condition_variable wake;
  std::deque<Job> queue;
  std::atomic<bool> closing{false};

  std::mutex sinksMutex;  // guards sinks and questions
  std::vector<std::pair<int, std::shared_ptr<Events>>> sinks;
  int nextSinkId = 1;
  std::shared_ptr<QuestionHandler> questions;

  /// Opens the back end and creates the controller on this thread, then serves the queue.
  void run(std::promise<void> started) {
    threadId = std::this_thread::get_id();
    try {
      backend = openBackend(options.card, options.backend);
      CardContext::current().setDriver(backend->driver());
      controller = std::make_unique<Morvand>(*this, this, &backend->clock(), options.directory);
      if (backend->simulated())
        backend->installLaser(controller->LaserTypeFlag, controller->GasFlag);
    } catch (...) {
      controller.reset();
      CardContext::current().reset();
      backend.reset();
      started.set_exception(std::current_exception());
      return;
    }
    started.set_value();
    for (;;) {
      Job job;
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return !queue.empty() || closing; });
        if (closing) break;
        job = std::move(queue.front());
        queue.pop_front();
      }
      job(controller.get());
    }
    refuseQueued();
    controller.reset();  // the destruction sequence, on this thread
    refuseQueued();      // calls submitted by handlers during the destruction
    CardContext::current().reset();
    backend.reset();
  }

  void refuseQueued() {
    std::deque<Job> refused;
    {
      std::lock_guard lock(mutex);
      refused.swap(queue);
    }
    for (Job& job : refused) job(nullptr);
  }

  /// Runs the calls submitted since the last turn (at a yield of a running operation).
  void runSubmitted() {
    for (;;) {
      Job job;
      {
        std::lock_guard lock(mutex);
        if (queue.empty() || closing) return;
        job = std::move(queue.front());
        queue.pop_front();
      }
      job(controller.get());
    }
  }

  std::vector<std::shared_ptr<Events>> currentSinks() {
    std::lock_guard lock(sinksMutex);
    std::vector<std::shared_ptr<Events>> out;
    out.reserve(sinks.size());
    for (auto& entry : sinks) out.push_back(entry.second);
    return out;
  }
  std::shared_ptr<QuestionHandler> currentQuestions() {
    std::lock_guard lock(sinksMutex);
    return questions;
  }

  // ---- HostServices ----
  int16_t messageBox(const std::string& text, int16_t style, const std::string& title) override {
    if (auto handler = currentQuestions()) return handler->messageBox(text, style, title);
    return unattendedAnswer(style);
  }
  std::string inputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override {
    if (auto handler = currentQuestions()) return handler->inputBox(prompt, title, defaultText);
    return {};
  }
  void yield() override {
    // A close asked from another thread stops a run as the destruction sequence would.
    if (closing && controller) controller->flag2 = kRunStop;
    // Calls first: on a paced simulator the step is a short real pause.
    runSubmitted();
    if (options.onYield) {
      if (closing) {
        try {
          options.onYield();
        } catch (...) {  // the destruction sequence runs to its end
        }
      } else {
        options.onYield();
      }
    }
    backend->step();
  }
  void beep() override {}

  bool waitUntil(std::chrono::nanoseconds deadline) override {
    Clock& clock = backend->clock();
    // A simulated card running as fast as possible: time moves only by waiting on it.
    const bool instant = backend->simulated() && options.backend.speed <= 0.0;
    if (instant && options.waitInSteps) return false;
    const double factor = backend->simulated() ? options.backend.speed : 1.0;
    std::unique_lock lock(mutex);
    for (;;) {
      if (!queue.empty()) return true;
      const std::chrono::nanoseconds now = clock.now();
      if (now >= deadline) return true;
      if (instant) {
        lock.unlock();
        clock.sleepFor(deadline - now);
        return true;
      }
      wake.wait_for(lock, std::chrono::duration<double, std::nano>(
                              static_cast<double>((deadline - now).count()) / factor));
    }
  }

  // ---- Events: each goes to every subscriber in turn ----
  template <class... Args, class... Given>
  void raise(void (Events::*handler)(Args...), Given&&... args) {
    for (auto& sink : currentSinks()) ((*sink).*handler)(args...);
  }
  void Warmingup(float WarmingTime, bool& Cancel) override {
    raise(&Events::Warmingup, WarmingTime, Cancel);
  }
  void LaserRunning(int32_t mPulseNum, float mEnergy) override {
    raise(&Events::LaserRunning, mPulseNum, mEnergy);
  }
  void Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                    float mVoltTest) override {
    raise(&Events::Measurements, mtemp, mPressure, mHVoltage, mFilaVolt, mVoltTest);
  }
  void ValveStatus(int16_t mValveState, const std::string& mValveString) override {
    raise(&Events::ValveStatus, mValveState, mValveString);
  }
  void ExtRepRateRead(float mExtRepRate, const std::string& Msg) override {
    raise(&Events::ExtRepRateRead, mExtRepRate, Msg);
  }
  void LaserMessenger(const std::string& mLaserMessage) override {
    raise(&Events::LaserMessenger, mLaserMessage);
  }
  void PCIcardSelect(int16_t& mlstDeviceIndex) override {
    raise(&Events::PCIcardSelect, mlstDeviceIndex);
  }
  void ExtStartState(bool mExtStartFlag) override { raise(&Events::ExtStartState, mExtStartFlag); }
  void MotorSelect(int16_t mMotorMode, int16_t mID) override {
    raise(&Events::MotorSelect, mMotorMode, mID);
  }
  void MotorRpmRead(double mMotorRPM, float mMotorV, float mMotorV24) override {
    raise(&Events::MotorRpmRead, mMotorRPM, mMotorV, mMotorV24);
  }
};

ControllerThread::ControllerThread(ControllerOptions options) : state_(std::make_shared<State>()) {
  if (options.directory.empty()) options.directory = ".";
  options.directory = std::filesystem::absolute(options.directory).lexically_normal().string();
  state_->options = std::move(options);
  std::promise<void> started;
  std::future<void> ready = started.get_future();
  // The thread keeps the state alive, so that a close deferred from inside one of its own
  // handlers can finish after this object is gone.
  state_->thread = std::thread(
      [state = state_, started = std::move(started)]() mutable { state->run(std::move(started)); });
  try {
    ready.get();
  } catch (...) {
    state_->thread.join();
    throw;
  }
}

ControllerThread::~ControllerThread() {
  close();
  if (state_->thread.joinable()) {
    if (onControllerThread()) {
      state_->thread.detach();
    } else {
      state_->thread.join();
    }
  }
}

void ControllerThread::post(Job job) {
  if (onControllerThread()) {
    job(state_->controller.get());
    return;
  }
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->closing) {
      state_->queue.push_back(std::move(job));
      state_->wake.notify_all();
      return;
    }
  }
  job(nullptr);
}

int ControllerThread::subscribe(std::shared_ptr<Events> sink) {
  std::lock_guard lock(state_->sinksMutex);
  const int id = state_->nextSinkId++;
  state_->sinks.emplace_back(id, std::move(sink));
  return id;
}

void ControllerThread::unsubscribe(int id) {
  std::lock_guard lock(state_->sinksMutex);
  std::erase_if(state_->sinks, [id](const auto& entry) { return entry.first == id; });
}

void ControllerThread::setQuestionHandler(std::shared_ptr<QuestionHandler> handler) {
  std::lock_guard lock(state_->sinksMutex);
  state_->questions = std::move(handler);
}

void ControllerThread::close() {
  {
    std::lock_guard lock(state_->mutex);
    state_->closing = true;
    state_->wake.notify_all();
  }
  if (onControllerThread()) {
    // Deferred: the run leaves at its next check, and the thread's loop closes once the
    // running operation has returned.
    if (state_->controller) state_->controller->flag2 = kRunStop;
    return;
  }
  if (state_->thread.joinable()) state_->thread.join();
}

bool ControllerThread::closing() const { return state_->closing; }

bool ControllerThread::onControllerThread() const {
  return std::this_thread::get_id() == state_->threadId;
}

const std::string& ControllerThread::directory() const { return state_->options.directory; }

Backend& ControllerThread::backend() { return *state_->backend; }

}  // namespace morvand
