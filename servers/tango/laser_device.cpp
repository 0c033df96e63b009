// One MorvandLaser device: its controller thread, the host that turns the controller's events
// and questions into pushed attributes, the pusher thread, the device state, and the entry
// points of the generic attributes and commands.

#include "laser_device.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>

#include "morvand/models.hpp"
#include "morvand/morvand.hpp"

namespace morvand::tango {
namespace {

/// Longest wait of a client call for the controller, below the client's 3 s time-out.
constexpr auto kReplyTime = std::chrono::milliseconds(2500);

/// Texts of the controller that mean a pressure or temperature problem (ALARM). They stand
/// until the next status pass or run starts.
constexpr const char* kAlarmTexts[] = {"GAS PRESSURE PROBLEM", "TEMPERATURE EXCEEDED",
                                       "PRESSURE TOO LOW", "HIGH GAS PRESSURE", "LOW GAS PRESSURE"};

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

[[noreturn]] void fail(const std::string& reason, const std::string& text) {
  Tango::Except::throw_exception(reason, text, "MorvandLaser");
}

/// The controller's errors as Tango errors carrying their text.
[[noreturn]] void rethrowAsTango(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const Tango::DevFailed&) {
    throw;
  } catch (const rf::ValueError& e) {
    fail("MorvandLaser_WrongValue", e.what());
  } catch (const IndexError& e) {
    fail("MorvandLaser_IndexError", e.what());
  } catch (const OverflowError& e) {
    fail("MorvandLaser_OverflowError", e.what());
  } catch (const FloatError& e) {
    fail("MorvandLaser_FloatError", e.what());
  } catch (const ListError& e) {
    fail("MorvandLaser_ListError", e.what());
  } catch (const SettingsError& e) {
    fail("MorvandLaser_SettingsError", e.what());
  } catch (const BackendError& e) {
    fail("MorvandLaser_BackendError", e.what());
  } catch (const ClosedError& e) {
    fail("MorvandLaser_Closed", e.what());
  } catch (const Error& e) {
    fail("MorvandLaser_Error", e.what());
  } catch (const std::exception& e) {
    fail("MorvandLaser_Failure", e.what());
  }
}

}  // namespace

void Shared::markDirty(const std::string& name) {
  if (std::find(dirty.begin(), dirty.end(), name) == dirty.end()) dirty.push_back(name);
}

std::vector<std::pair<std::string, int16_t>> buttonsOf(int16_t style) {
  switch (style & 7) {
    case 1:
      return {{"OK", kAnswerOk}, {"Cancel", kAnswerCancel}};
    case 2:
      return {{"Abort", 3}, {"Retry", 4}, {"Ignore", 5}};
    case 3:
      return {{"Yes", kAnswerYes}, {"No", kAnswerNo}, {"Cancel", kAnswerCancel}};
    case 4:
      return {{"Yes", kAnswerYes}, {"No", kAnswerNo}};
    case 5:
      return {{"Retry", 4}, {"Cancel", kAnswerCancel}};
    default:
      return {{"OK", kAnswerOk}};
  }
}

/// The device state and its status text (the caller holds shared.mutex).
Tango::DevState stateOf(const Shared& shared, std::string* status) {
  const std::string& message = shared.message;
  const auto say = [&](const std::string& text) {
    if (status != nullptr) *status = message.empty() ? text : message;
  };
  if (!shared.fault.empty() || !shared.open) {
    if (status != nullptr) *status = shared.fault;
    return Tango::FAULT;
  }
  if (shared.pciCard == -1) {
    if (status != nullptr) *status = "The card's device listing failed";
    return Tango::FAULT;
  }
  if (shared.pciCard == 0) {
    if (status != nullptr) *status = "No card is selected";
    return Tango::OFF;
  }
  Tango::DevState state = Tango::STANDBY;
  std::string text = "Ready";
  if (shared.runs > 0) {
    state = Tango::RUNNING;
    text = "Firing";
  } else if (shared.moving > 0 || shared.thyState) {
    state = Tango::MOVING;
    text = "Working";
  } else if (!shared.powerOK || !shared.interlockActive || shared.supplyOff) {
    state = Tango::DISABLE;
    text = "The interlock is open or the supply is off";
  } else if (shared.alarm) {
    state = Tango::ALARM;
    text = "Pressure or temperature problem";
  }
  say(text);
  return state;
}

/// What an operation left for the command that started it.
struct JobRecord {
  std::mutex mutex;  // guards finished, asking and detached
  std::condition_variable changed;
  bool finished = false;
  bool asking = false;    ///< it waits for the answer to a question
  bool detached = false;  ///< its command returned without its result (it goes to LastResult)
  std::vector<std::string> messages;  ///< operator messages it sent (controller thread)
  rf::Value result;
  std::exception_ptr error;
};

/// The controller's events and questions, on the controller thread. Values go to Shared for
/// the pusher; nothing here waits for Tango.
class Host final : public Events, public QuestionHandler {
 public:
  explicit Host(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

  /// Set by the first call on the controller thread; used there only.
  Morvand* controller = nullptr;

  /// Copies what the device state is made of (controller thread).
  void refresh() {
    if (controller == nullptr) return;
    std::lock_guard lock(shared_->mutex);
    refreshLocked();
  }

  /// An operation starts (controller thread). Runs and long operations change the state.
  void begin(JobRecord* record, CommandKind kind, std::string_view name) {
    jobs_.push_back(record);
    if (kind != CommandKind::Run && kind != CommandKind::Long) return;
    std::lock_guard lock(shared_->mutex);
    if (name == "MorvandStatus" || name == "LaserRun") shared_->alarm = false;
    (kind == CommandKind::Run ? shared_->runs : shared_->moving) += 1;
    refreshLocked();
    shared_->changed.notify_all();
  }

  /// An operation ended. Its result goes to LastResult when its command did not return it.
  /// evaluates: it read and evaluated the status inputs (PowerOK, InterlockActive).
  void end(JobRecord* record, CommandKind kind, std::string_view name, rf::Type resultType,
           bool evaluates) {
    jobs_.pop_back();
    if (evaluates) evaluated_ = true;
    bool publish = false;
    {
      std::lock_guard lock(record->mutex);
      record->finished = true;
      publish = record->detached || kind == CommandKind::Run || kind == CommandKind::Long;
    }
    record->changed.notify_all();
    std::lock_guard lock(shared_->mutex);
    if (kind == CommandKind::Run || kind == CommandKind::Long) {
      (kind == CommandKind::Run ? shared_->runs : shared_->moving) -= 1;
    }
    if (name == "MorvandStatus") shared_->statusPass = false;
    if (publish) {
      std::string text = std::string(name) + ": ";
      if (record->error) {
        try {
          std::rethrow_exception(record->error);
        } catch (const std::exception& e) {
          text += e.what();
        }
      } else if (resultType == rf::Type::Void) {
        text += "done";
      } else {
        text += rf::toText(record->result);
      }
      shared_->lastResult = text;
      shared_->markDirty("LastResult");
    }
    refreshLocked();
    shared_->changed.notify_all();
  }

  void markEvaluated() { evaluated_ = true; }

  void Warmingup(float, bool&) override { refresh(); }
  void LaserRunning(int32_t mPulseNum, float mEnergy) override {
    std::lock_guard lock(shared_->mutex);
    shared_->pulseNum = mPulseNum;
    shared_->energy = mEnergy;
    shared_->markDirty("PulseNum");
    shared_->markDirty("Energy");
    refreshLocked();
    shared_->changed.notify_all();
  }
  void Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                    float mVoltTest) override {
    std::lock_guard lock(shared_->mutex);
    shared_->temp = mtemp;
    shared_->pressure = mPressure;
    shared_->hVoltage = mHVoltage;
    shared_->measurements = {mtemp, mPressure, mHVoltage, mFilaVolt, mVoltTest};
    // Five times -1: the head is unplugged or its 12 V supply is off.
    shared_->supplyOff = mtemp == -1.0f && mPressure == -1.0f && mHVoltage == -1.0f &&
                         mFilaVolt == -1.0f && mVoltTest == -1.0f;
    for (const char* name : {"temp", "Pressure", "HVoltage", "Measurements"}) {
      shared_->markDirty(name);
    }
    refreshLocked();
    shared_->changed.notify_all();
  }
  void ValveStatus(int16_t mValveState, const std::string& mValveString) override {
    std::lock_guard lock(shared_->mutex);
    shared_->valveState = mValveState;
    shared_->valveString = mValveString;
    shared_->markDirty("ValveState");
    shared_->markDirty("ValveString");
    shared_->changed.notify_all();
  }
  void ExtRepRateRead(float mExtRepRate, const std::string&) override {
    std::lock_guard lock(shared_->mutex);
    shared_->extRepRate = mExtRepRate;
    shared_->markDirty("ExtRepRate");
    shared_->changed.notify_all();
  }
  void LaserMessenger(const std::string& mLaserMessage) override {
    if (!jobs_.empty()) jobs_.back()->messages.push_back(mLaserMessage);
    std::lock_guard lock(shared_->mutex);
    shared_->message = mLaserMessage;
    noteAlarm(mLaserMessage);
    shared_->markDirty("LaserMessenger");
    refreshLocked();
    shared_->changed.notify_all();
  }
  void ExtStartState(bool mExtStartFlag) override {
    std::lock_guard lock(shared_->mutex);
    shared_->extStartFlag = mExtStartFlag;
    shared_->markDirty("ExtStartFlag");
    shared_->changed.notify_all();
  }
  void MotorSelect(int16_t mMotorMode, int16_t) override {
    std::lock_guard lock(shared_->mutex);
    shared_->mmode = mMotorMode;
    shared_->markDirty("mmode");
    shared_->changed.notify_all();
  }
  void MotorRpmRead(double mMotorRPM, float mMotorV, float mMotorV24) override {
    std::lock_guard lock(shared_->mutex);
    shared_->motorRpm = {mMotorRPM, mMotorV, mMotorV24};
    shared_->markDirty("MotorRPM");
    shared_->markDirty("MotorRpmRead");
    shared_->changed.notify_all();
  }

  int16_t messageBox(const std::string& text, int16_t style, const std::string& title) override {
    if (!jobs_.empty()) jobs_.back()->messages.push_back(text);
    {
      std::lock_guard lock(shared_->mutex);
      noteAlarm(text);
    }
    markAsking();
    Question q;
    q.text = text;
    q.title = title;
    q.style = style;
    const auto buttons = buttonsOf(style);
    for (const auto& b : buttons) q.buttons.push_back(b.first);
    std::optional<std::string> reply = ask(std::move(q));
    if (!reply) {
      std::string unattended;
      {
        std::lock_guard lock(shared_->mutex);
        unattended = shared_->unattended;
      }
      reply = unattended;
    }
    for (const auto& b : buttons) {
      if (upper(b.first) == upper(*reply)) return b.second;
    }
    return unattendedAnswer(style);  // the configured answer is not one of this box's buttons
  }

  std::string inputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override {
    markAsking();
    Question q;
    q.prompt = true;
    q.text = prompt;
    q.title = title;
    q.defaultText = defaultText;
    if (std::optional<std::string> reply = ask(std::move(q))) return *reply;
    // Unanswered: OK with the default text (a cancelled prompt that insists on a value would
    // come back for ever), or cancelled when the unattended answer is Cancel.
    std::lock_guard lock(shared_->mutex);
    return upper(shared_->unattended) == "CANCEL" ? std::string() : defaultText;
  }

 private:
  /// A pressure or temperature warning of the controller (shared_->mutex held).
  void noteAlarm(const std::string& message) {
    for (const char* text : kAlarmTexts) {
      if (message.find(text) != std::string::npos) shared_->alarm = true;
    }
  }

  void refreshLocked() {
    if (controller == nullptr) return;
    shared_->pciCard = controller->PCIcard;
    shared_->thyState = controller->ThyState;
    // Before the first evaluation of the inputs both read False: not yet a reason for DISABLE.
    if (controller->PowerOK || controller->InterlockActive) evaluated_ = true;
    shared_->powerOK = !evaluated_ || controller->PowerOK;
    shared_->interlockActive = !evaluated_ || controller->InterlockActive;
    queueState();
  }

  /// Keeps a state the device passes through for the pusher, so that a client sees even a
  /// short one (a warm-up skipped at once).
  void queueState() {
    const Tango::DevState now = stateOf(*shared_, nullptr);
    if (now != lastState_) {
      shared_->stateQueue.push_back(now);
      shared_->markDirty("State");
      lastState_ = now;
    }
  }

  /// The commands waiting for the operations in progress stop waiting: the answer needs a
  /// client, and a client call holds the device until it returns.
  void markAsking() {
    for (JobRecord* record : jobs_) {
      {
        std::lock_guard lock(record->mutex);
        record->asking = true;
      }
      record->changed.notify_all();
    }
  }

  /// Publishes the question and waits for Answer, the time-out or the device's end. While it
  /// waits, calls submitted from other threads still run (as the host's message loop runs
  /// under a modal box), so clients can read attributes and stop a run.
  std::optional<std::string> ask(Question q) {
    std::unique_lock lock(shared_->mutex);
    // A call that runs while a question waits may ask one of its own: it is shown (and
    // answered) first, then the outer one is back.
    std::optional<Question> outer = std::move(shared_->question);
    shared_->question = std::move(q);
    shared_->answer.reset();
    shared_->markDirty("PendingQuestion");
    shared_->changed.notify_all();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(shared_->answerTimeout));
    std::optional<std::string> out;
    for (;;) {
      if (shared_->answer) {
        out = shared_->answer;
        break;
      }
      if (shared_->stopping || std::chrono::steady_clock::now() >= deadline) break;
      shared_->answered.wait_for(lock, std::chrono::milliseconds(20));
      if (controller != nullptr && !shared_->answer) {
        lock.unlock();
        controller->Waiting(0.001);  // yields: the calls submitted meanwhile run
        lock.lock();
      }
    }
    shared_->question = std::move(outer);
    shared_->answer.reset();
    shared_->markDirty("PendingQuestion");
    shared_->changed.notify_all();
    return out;
  }

  std::shared_ptr<Shared> shared_;
  std::vector<JobRecord*> jobs_;  ///< operations in progress, innermost last
  bool evaluated_ = false;
  Tango::DevState lastState_ = Tango::UNKNOWN;
};

// ---- the device ----

template <class F>
auto MorvandLaser::onController(F&& fn) {
  if (!thread_) {
    std::string fault;
    {
      std::lock_guard lock(shared_->mutex);
      fault = shared_->fault;
    }
    fail("MorvandLaser_NotOpen", "The controller is not open: " + fault);
  }
  auto future = thread_->submit(std::forward<F>(fn));
  if (future.wait_for(kReplyTime) != std::future_status::ready) {
    fail("MorvandLaser_Busy",
         "The controller did not answer within 2.5 s; the call runs when the controller is "
         "free");
  }
  try {
    return future.get();
  } catch (...) {
    rethrowAsTango(std::current_exception());
  }
}

MorvandLaser::MorvandLaser(Tango::DeviceClass* cls, const std::string& deviceName)
    : TANGO_BASE_CLASS(cls, deviceName.c_str()) {
  init_device();
}

MorvandLaser::~MorvandLaser() { delete_device(); }

const std::vector<std::string>& MorvandLaser::pushedAttributes() {
  static const std::vector<std::string> names{
      "PulseNum",   "Energy",       "temp",         "Pressure",       "HVoltage",
      "ValveState", "ValveString",  "ExtRepRate",   "ExtStartFlag",   "mmode",
      "MotorRPM",   "Measurements", "MotorRpmRead", "LaserMessenger", "PendingQuestion",
      "LastResult"};
  return names;
}

DeviceProperties MorvandLaser::readProperties() {
  DeviceProperties p;
  const std::vector<std::string> names{"Card", "SettingsDirectory", "Speed", "UnattendedAnswer",
                                       "AnswerTimeout"};
  std::map<std::string, std::string> given;
  if (Tango::Util::_UseDb) {
    Tango::DbData data;
    for (const auto& n : names) data.push_back(Tango::DbDatum(n));
    get_db_device()->get_property(data);
    for (size_t i = 0; i < names.size(); ++i) {
      std::string value;
      if (!data[i].is_empty()) {
        data[i] >> value;
        given[names[i]] = value;
      }
    }
  }
  for (const auto& n : names) {
    if (given.count(n) != 0) continue;
    if (const char* env = std::getenv(("MORVAND_TANGO_" + upper(n)).c_str())) given[n] = env;
  }
  if (given.count("Card")) p.card = given["Card"];
  if (given.count("SettingsDirectory")) p.settingsDirectory = given["SettingsDirectory"];
  if (given.count("Speed")) p.speed = given["Speed"];
  if (given.count("UnattendedAnswer")) p.unattendedAnswer = given["UnattendedAnswer"];
  if (given.count("AnswerTimeout")) {
    try {
      p.answerTimeout = std::stod(given["AnswerTimeout"]);
    } catch (const std::exception&) {
      p.answerTimeout = -1.0;  // refused below
    }
  }
  return p;
}

void MorvandLaser::init_device() {
  set_state(Tango::INIT);
  shared_ = std::make_shared<Shared>();
  slots_.assign(rf::properties().size(), Slot{});
  limits_[0] = limits_[1] = limits_[2] = -1.0f;
  set_change_event("State", true, false);
  set_change_event("Status", true, false);
  try {
    properties_ = readProperties();
    openController();
  } catch (const Tango::DevFailed& e) {
    std::lock_guard lock(shared_->mutex);
    shared_->fault = std::string("The device properties cannot be read: ") + e.errors[0].desc.in();
  }
  pusher_ = std::thread([this] { pusherLoop(); });
}

void MorvandLaser::openController() {
  directory_ = properties_.settingsDirectory;
  if (directory_.empty()) {
    // One directory per device, so that two lasers never share their counters.
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
      base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
      base = std::string(home) + "/.local/share";
    } else {
      base = "/var/lib";
    }
    std::string name = get_name();
    std::replace(name.begin(), name.end(), '/', '_');
    directory_ = base + "/morvand-tango/" + name;
  }
  const auto setFault = [this](const std::string& text) {
    std::lock_guard lock(shared_->mutex);
    shared_->fault = text;
  };
  ControllerOptions options;
  options.card = properties_.card;
  options.directory = directory_;
  if (upper(properties_.speed) == "MAX") {
    options.backend.speed = 0.0;
  } else {
    try {
      options.backend.speed = std::stod(properties_.speed);
    } catch (const std::exception&) {
      options.backend.speed = -1.0;
    }
    if (!(options.backend.speed > 0.0)) {
      return setFault(
          "The property Speed must be a factor of real time above 0 or \"max\", not \"" +
          properties_.speed + "\"");
    }
  }
  bool known = false;
  for (const auto& b : buttonsOf(3))
    known = known || upper(b.first) == upper(properties_.unattendedAnswer);
  for (const char* b : {"OK", "ABORT", "RETRY", "IGNORE"})
    known = known || upper(properties_.unattendedAnswer) == b;
  if (!known) {
    return setFault(
        "The property UnattendedAnswer must be Yes, No, OK, Cancel, Abort, Retry or "
        "Ignore, not \"" +
        properties_.unattendedAnswer + "\"");
  }
  if (!(properties_.answerTimeout >= 0.0)) {
    return setFault("The property AnswerTimeout must be a number of seconds, 0 or more");
  }
  {
    std::lock_guard lock(shared_->mutex);
    shared_->answerTimeout = properties_.answerTimeout;
    shared_->unattended = properties_.unattendedAnswer;
  }
  try {
    thread_ = std::make_unique<ControllerThread>(options);
  } catch (const SettingsError& e) {
    return setFault("The settings files in " + directory_ + " are missing or unreadable (" +
                    e.what() +
                    "). Create them with the command WriteSettings and a model and gas, "
                    "for example [\"LM-10\", \"KrF\"], or copy the files Paramdata, Typedata, "
                    "Counter and Industrial there and run Init.");
  } catch (const std::exception& e) {
    return setFault("The card " + properties_.card + " cannot be opened: " + e.what());
  }
  {
    std::lock_guard lock(shared_->mutex);
    shared_->open = true;
  }
  host_ = std::make_shared<Host>(shared_);
  thread_->subscribe(host_);
  thread_->setQuestionHandler(host_);
  try {
    onController([host = host_](Morvand& m) {
      host->controller = &m;
      const bool found = m.StandardCard();
      host->refresh();
      return found;
    });
    updateLimits();
  } catch (const Tango::DevFailed& e) {
    setFault(std::string("The card did not open: ") + e.errors[0].desc.in());
  }
  {
    std::lock_guard lock(shared_->mutex);
    shared_->message = "";
  }
}

void MorvandLaser::delete_device() {
  if (!pusher_.joinable() && !thread_) return;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    shared_->changed.notify_all();
    shared_->answered.notify_all();
  }
  // The destruction sequence stops a run and writes the settings back; the controller
  // thread never waits for Tango, so this cannot deadlock.
  thread_.reset();
  {
    std::lock_guard lock(shared_->mutex);
    shared_->open = false;
  }
  // A push in progress may wait for the device monitor held by our caller; it gives up
  // after the monitor's time-out and the loop then ends.
  if (pusher_.joinable()) pusher_.join();
  host_.reset();
}

Tango::DevState MorvandLaser::dev_state() {
  std::lock_guard lock(shared_->mutex);
  const Tango::DevState s = stateOf(*shared_, &status_);
  set_state(s);
  return s;
}

Tango::ConstDevString MorvandLaser::dev_status() {
  std::lock_guard lock(shared_->mutex);
  stateOf(*shared_, &status_);
  return status_.c_str();
}

void MorvandLaser::pushState() {
  // Every state the controller went through, in order, then the present one.
  std::vector<Tango::DevState> states;
  std::string status;
  {
    std::lock_guard lock(shared_->mutex);
    states.swap(shared_->stateQueue);
    states.push_back(stateOf(*shared_, &status));
  }
  for (const Tango::DevState s : states) {
    if (s == pushedState_) continue;
    {
      Tango::AutoTangoMonitor sync(this);
      set_state(s);
    }
    push_change_event("State");
    pushedState_ = s;
  }
  if (status != pushedStatus_) {
    {
      Tango::AutoTangoMonitor sync(this);
      set_status(status);
    }
    Tango::DevString text = const_cast<char*>(status.c_str());
    push_change_event("Status", &text);
    pushedStatus_ = status;
  }
}

void MorvandLaser::pusherLoop() {
  std::shared_ptr<Shared> shared = shared_;
  for (;;) {
    std::vector<std::string> dirty;
    Shared copy;
    {
      std::unique_lock lock(shared->mutex);
      shared->changed.wait_for(lock, std::chrono::milliseconds(100),
                               [&] { return shared->stopping || !shared->dirty.empty(); });
      if (shared->stopping) return;
      dirty.swap(shared->dirty);
      copy.pulseNum = shared->pulseNum;
      copy.energy = shared->energy;
      copy.temp = shared->temp;
      copy.pressure = shared->pressure;
      copy.hVoltage = shared->hVoltage;
      copy.extRepRate = shared->extRepRate;
      copy.measurements = shared->measurements;
      copy.motorRpm = shared->motorRpm;
      copy.valveState = shared->valveState;
      copy.mmode = shared->mmode;
      copy.valveString = shared->valveString;
      copy.message = shared->message;
      copy.lastResult = shared->lastResult;
      copy.extStartFlag = shared->extStartFlag;
      copy.question = shared->question;
    }
    // Each push takes the device monitor; a client call holding it delays the push, never
    // the controller.
    for (const std::string& name : dirty) {
      try {
        if (name == "PulseNum") {
          push_change_event(name, &copy.pulseNum);
        } else if (name == "Energy") {
          push_change_event(name, &copy.energy);
        } else if (name == "temp") {
          push_change_event(name, &copy.temp);
        } else if (name == "Pressure") {
          push_change_event(name, &copy.pressure);
        } else if (name == "HVoltage") {
          push_change_event(name, &copy.hVoltage);
        } else if (name == "ExtRepRate") {
          push_change_event(name, &copy.extRepRate);
        } else if (name == "ValveState") {
          push_change_event(name, &copy.valveState);
        } else if (name == "mmode") {
          push_change_event(name, &copy.mmode);
        } else if (name == "ExtStartFlag") {
          Tango::DevBoolean b = copy.extStartFlag;
          push_change_event(name, &b);
        } else if (name == "MotorRPM") {
          push_change_event(name, &copy.motorRpm[0]);
        } else if (name == "Measurements") {
          push_change_event(name, copy.measurements.data(), 5);
        } else if (name == "MotorRpmRead") {
          push_change_event(name, copy.motorRpm.data(), 3);
        } else if (name == "ValveString" || name == "LaserMessenger" || name == "LastResult") {
          const std::string& text = name == "ValveString"      ? copy.valveString
                                    : name == "LaserMessenger" ? copy.message
                                                               : copy.lastResult;
          Tango::DevString p = const_cast<char*>(text.c_str());
          push_change_event(name, &p);
        } else if (name == "PendingQuestion") {
          std::vector<std::string> parts;
          if (copy.question) {
            parts = {copy.question->text, copy.question->title};
            if (copy.question->prompt) {
              parts.push_back("");
              parts.push_back(copy.question->defaultText);
            } else {
              parts.insert(parts.end(), copy.question->buttons.begin(),
                           copy.question->buttons.end());
            }
          }
          std::vector<Tango::DevString> ptrs;
          for (auto& s : parts) ptrs.push_back(const_cast<char*>(s.c_str()));
          Tango::DevString none = const_cast<char*>("");
          push_change_event(name, ptrs.empty() ? &none : ptrs.data(),
                            static_cast<long>(ptrs.size()));
        }
      } catch (const Tango::DevFailed&) {
        // The monitor was busy past its time-out or nobody listens: the next value follows.
      }
    }
    try {
      pushState();
    } catch (const Tango::DevFailed&) {
    }
  }
}

void MorvandLaser::updateLimits() {
  struct Limits {
    int16_t model;
    float min, max;
  };
  const Limits got = onController([](Morvand& m) {
    return Limits{m.LaserTypeFlag, m.HiVoltMin, m.HiVoltMax};
  });
  const ModelInfo* model = findModel(got.model);
  const float rateMax = model != nullptr ? static_cast<float>(model->RepRateMax) : 0.0f;
  if (rateMax == limits_[0] && got.min == limits_[1] && got.max == limits_[2]) return;
  Tango::MultiAttribute* attributes = get_device_attr();
  const auto apply = [&](auto setMin, auto setMax) {
    // The order that keeps min below max at every step.
    try {
      setMax();
      setMin();
    } catch (const Tango::DevFailed&) {
      try {
        setMin();
        setMax();
      } catch (const Tango::DevFailed&) {
        // A model with no range (min not below max): the attribute keeps no limit.
      }
    }
  };
  Tango::WAttribute& rate = attributes->get_w_attr_by_name("RepRate");
  const Tango::DevLong rateLow = 0;
  const Tango::DevLong rateHigh = static_cast<Tango::DevLong>(rateMax);
  if (rateHigh > 0) {
    apply([&] { rate.set_min_value(rateLow); }, [&] { rate.set_max_value(rateHigh); });
  }
  Tango::WAttribute& volt = attributes->get_w_attr_by_name("VoltSet");
  const Tango::DevFloat voltLow = got.min;
  const Tango::DevFloat voltHigh = got.max;
  if (voltLow < voltHigh) {
    apply([&] { volt.set_min_value(voltLow); }, [&] { volt.set_max_value(voltHigh); });
  }
  limits_[0] = rateMax;
  limits_[1] = got.min;
  limits_[2] = got.max;
}

void MorvandLaser::read_attr_hardware(std::vector<long>& attributes) {
  if (!thread_) return;
  std::vector<size_t> wanted;
  const auto table = rf::properties();
  for (long index : attributes) {
    const std::string& name = get_device_attr()->get_attr_by_ind(index).get_name();
    if (const rf::PropertyInfo* p = rf::findProperty(name)) {
      wanted.push_back(static_cast<size_t>(p - table.data()));
    } else if (name == "state_") {
      wanted.push_back(static_cast<size_t>(rf::findProperty("state") - table.data()));
    }
  }
  if (wanted.empty()) return;
  // One call for every property the client asked for.
  const std::vector<rf::Value> values = onController([wanted](Morvand& m) {
    std::vector<rf::Value> out;
    const auto all = rf::properties();
    for (size_t i : wanted) out.push_back(all[i].get(m));
    return out;
  });
  for (size_t k = 0; k < wanted.size(); ++k) {
    Slot& slot = slots_[wanted[k]];
    std::visit(
        [&slot](const auto& v) {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, bool>) {
            slot.b = v;
          } else if constexpr (std::is_same_v<T, int16_t>) {
            slot.s = v;
          } else if constexpr (std::is_same_v<T, int32_t>) {
            slot.l = v;
          } else if constexpr (std::is_same_v<T, float>) {
            slot.f = v;
          } else if constexpr (std::is_same_v<T, double>) {
            slot.d = v;
          } else if constexpr (std::is_same_v<T, std::string>) {
            slot.text = v;
          }
        },
        values[k]);
  }
}

void MorvandLaser::readProperty(size_t index, Tango::Attribute& attribute) {
  if (!thread_) onController([](Morvand&) {});  // throws the reason
  Slot& slot = slots_[index];
  switch (rf::properties()[index].type) {
    case rf::Type::Bool:
      attribute.set_value(&slot.b);
      break;
    case rf::Type::Int16:
      attribute.set_value(&slot.s);
      break;
    case rf::Type::Int32:
      attribute.set_value(&slot.l);
      break;
    case rf::Type::Single:
      attribute.set_value(&slot.f);
      break;
    case rf::Type::Double:
      attribute.set_value(&slot.d);
      break;
    case rf::Type::String:
      slot.ptr = const_cast<char*>(slot.text.c_str());
      attribute.set_value(&slot.ptr);
      break;
    default:
      break;
  }
}

void MorvandLaser::writeProperty(size_t index, Tango::WAttribute& attribute) {
  const rf::PropertyInfo* p = &rf::properties()[index];
  rf::Value value;
  switch (p->type) {
    case rf::Type::Bool: {
      Tango::DevBoolean v;
      attribute.get_write_value(v);
      value = static_cast<bool>(v);
      break;
    }
    case rf::Type::Int16: {
      Tango::DevShort v;
      attribute.get_write_value(v);
      value = static_cast<int16_t>(v);
      break;
    }
    case rf::Type::Int32: {
      Tango::DevLong v;
      attribute.get_write_value(v);
      value = static_cast<int32_t>(v);
      break;
    }
    case rf::Type::Single: {
      Tango::DevFloat v;
      attribute.get_write_value(v);
      value = static_cast<float>(v);
      break;
    }
    case rf::Type::Double: {
      Tango::DevDouble v;
      attribute.get_write_value(v);
      value = static_cast<double>(v);
      break;
    }
    case rf::Type::String: {
      Tango::DevString v = nullptr;
      attribute.get_write_value(v);
      value = std::string(v != nullptr ? v : "");
      break;
    }
    default:
      return;
  }
  onController([p, value, host = host_](Morvand& m) {
    p->set(m, value);
    host->refresh();
  });
  updateLimits();
}

void MorvandLaser::readExtra(Extra which, Tango::Attribute& attribute) {
  std::lock_guard lock(shared_->mutex);
  switch (which) {
    case Extra::Measurements:
      measurements_ = shared_->measurements;
      attribute.set_value(measurements_.data(), 5);
      break;
    case Extra::MotorRpmRead:
      motorRpm_ = shared_->motorRpm;
      attribute.set_value(motorRpm_.data(), 3);
      break;
    case Extra::LaserMessenger:
    case Extra::LastResult:
      extraText_ = which == Extra::LaserMessenger ? shared_->message : shared_->lastResult;
      extraPtr_ = const_cast<char*>(extraText_.c_str());
      attribute.set_value(&extraPtr_);
      break;
    case Extra::PendingQuestion: {
      questionText_.clear();
      if (const auto& q = shared_->question) {
        questionText_ = {q->text, q->title};
        if (q->prompt) {
          questionText_.push_back("");
          questionText_.push_back(q->defaultText);
        } else {
          questionText_.insert(questionText_.end(), q->buttons.begin(), q->buttons.end());
        }
      }
      questionPtrs_.clear();
      for (auto& s : questionText_) questionPtrs_.push_back(const_cast<char*>(s.c_str()));
      attribute.set_value(questionPtrs_.data(), static_cast<long>(questionPtrs_.size()));
      break;
    }
  }
}

void MorvandLaser::answerQuestion(const std::string& answer) {
  std::lock_guard lock(shared_->mutex);
  if (!shared_->question) fail("MorvandLaser_NoQuestion", "No question is waiting for an answer");
  if (!shared_->question->prompt) {
    bool known = false;
    std::string names;
    for (const auto& b : shared_->question->buttons) {
      known = known || upper(b) == upper(answer);
      names += (names.empty() ? "" : ", ") + b;
    }
    if (!known) {
      fail("MorvandLaser_WrongAnswer",
           "\"" + answer + "\" is not a button of the question; its buttons are " + names);
    }
  }
  shared_->answer = answer;
  shared_->answered.notify_all();
}

void MorvandLaser::writeSettings(const std::string& model, const std::string& gas) {
  if (thread_) {
    fail("MorvandLaser_Open",
         "The controller is open; its settings are written back when it closes (Init)");
  }
  try {
    writeSettingsFiles(directory_, model, gas);
  } catch (...) {
    rethrowAsTango(std::current_exception());
  }
  {
    std::lock_guard lock(shared_->mutex);
    shared_->fault.clear();
  }
  openController();
}

void MorvandLaser::simulatorFault(const std::string& name, bool on) {
  struct Outcome {
    bool known;
    std::vector<std::string> names;
  };
  const Outcome outcome = onController([t = thread_.get(), name, on](Morvand&) {
    Backend& backend = t->backend();
    return Outcome{backend.setFault(name, on), backend.faultNames()};
  });
  if (outcome.known) return;
  std::string names;
  for (const auto& n : outcome.names) names += (names.empty() ? "" : ", ") + n;
  fail("MorvandLaser_WrongValue",
       "No fault \"" + name + "\" on this card" +
           (names.empty() ? std::string(" (only simulated cards have faults)")
                          : "; the faults are " + names));
}

CORBA::Any* MorvandLaser::execute(const CommandInfo& command, const CORBA::Any& in,
                                  Tango::Command& tangoCommand) {
  const rf::MethodInfo* info = command.method;
  Tango::Command* self = &tangoCommand;  // its extract and insert helpers
  std::vector<rf::Value> args;
  if (command.kind == CommandKind::ListSelect) {
    const Tango::DevVarShortArray* positions = nullptr;
    self->extract(in, positions);
    if (positions->length() != 2) {
      fail("MorvandLaser_WrongValue",
           std::string(info->name) + " takes two positions: the gas list's and the model list's");
    }
    const int16_t gas = (*positions)[0];
    const int16_t laser = (*positions)[1];
    onController([gas, laser, host = host_](Morvand& m) {
      ListBox gasList, laserList;
      m.GetLaserList(laserList);
      laserList.SetListIndex(laser);
      m.GetGasList(gasList);
      gasList.SetListIndex(gas);
      m.SetLaserAndGasType(gasList, laserList);
      host->refresh();
    });
    updateLimits();
    return self->insert();
  }
  if (command.kind == CommandKind::ListOut) {
    const std::vector<std::string> items = onController([info](Morvand& m) {
      ListBox list;
      std::vector<rf::Value> a{rf::Value(static_cast<ListControl*>(&list))};
      info->invoke(m, a);
      std::vector<std::string> out;
      for (int16_t i = 0; i < list.ListCount(); ++i) out.push_back(list.List(i));
      return out;
    });
    auto* out = new Tango::DevVarStringArray();
    out->length(static_cast<CORBA::ULong>(items.size()));
    for (size_t i = 0; i < items.size(); ++i) (*out)[i] = CORBA::string_dup(items[i].c_str());
    return self->insert(out);
  }
  if (info->arguments.size() == 1) {
    switch (info->arguments[0].type) {
      case rf::Type::Bool: {
        Tango::DevBoolean v;
        self->extract(in, v);
        args.emplace_back(static_cast<bool>(v));
        break;
      }
      case rf::Type::Int16: {
        Tango::DevShort v;
        self->extract(in, v);
        args.emplace_back(static_cast<int16_t>(v));
        break;
      }
      case rf::Type::Int32: {
        Tango::DevLong v;
        self->extract(in, v);
        args.emplace_back(static_cast<int32_t>(v));
        break;
      }
      case rf::Type::Single: {
        Tango::DevFloat v;
        self->extract(in, v);
        args.emplace_back(static_cast<float>(v));
        break;
      }
      case rf::Type::Double: {
        Tango::DevDouble v;
        self->extract(in, v);
        args.emplace_back(static_cast<double>(v));
        break;
      }
      case rf::Type::String: {
        Tango::DevString v;
        self->extract(in, v);
        args.emplace_back(std::string(v));
        break;
      }
      default:
        break;
    }
  } else if (info->arguments.size() > 1) {
    const Tango::DevVarStringArray* texts = nullptr;
    self->extract(in, texts);
    if (texts->length() != info->arguments.size()) {
      fail("MorvandLaser_WrongValue",
           std::string(info->name) + " takes " + std::to_string(info->arguments.size()) + " texts");
    }
    for (CORBA::ULong i = 0; i < texts->length(); ++i) {
      try {
        args.push_back(rf::fromText(info->arguments[i].type, (*texts)[i].in()));
      } catch (...) {
        rethrowAsTango(std::current_exception());
      }
    }
  }

  if (!thread_) onController([](Morvand&) {});  // throws the reason
  if (info->name == "MorvandStatus") {
    // The status poll must not start a second pass while one runs.
    std::lock_guard lock(shared_->mutex);
    if (shared_->statusPass) fail("MorvandLaser_Busy", "A status pass is already running");
    shared_->statusPass = true;
  }
  auto record = std::make_shared<JobRecord>();
  const CommandKind kind = command.kind;
  thread_->submit([info, args, record, kind, host = host_](Morvand& m) mutable {
    host->begin(record.get(), kind, info->name);
    try {
      record->result = info->invoke(m, args);
    } catch (...) {
      record->error = std::current_exception();
    }
    // StateTest1711, and a status pass with CheckState, evaluate the status inputs.
    const bool evaluates = info->name == "StateTest1711" ||
                           (info->name == "MorvandStatus" && std::get<bool>(args.at(0)));
    host->end(record.get(), kind, info->name, info->result, evaluates);
  });

  if (kind == CommandKind::Call) {
    // It replies with the result, unless the method asks a question first (the answer needs
    // a client, and this call holds the device) or takes longer than a client waits.
    {
      std::unique_lock lock(record->mutex);
      const bool ended = record->changed.wait_for(
          lock, kReplyTime, [&] { return record->finished || record->asking; });
      if (!record->finished) {
        record->detached = true;
        if (ended && info->result == rf::Type::Void) return self->insert();
        fail(ended ? "MorvandLaser_Asking" : "MorvandLaser_Busy",
             std::string(info->name) +
                 (ended ? " waits for the answer to its question (PendingQuestion, Answer)"
                        : " did not end within 2.5 s") +
                 "; its result arrives in LastResult");
      }
    }
    if (record->error) rethrowAsTango(record->error);
    if (info->name == "HighRepSetup" || info->name == "LaserData" || info->name == "HiVoltSet") {
      updateLimits();
    }
    return std::visit(
        [self](const auto& v) -> CORBA::Any* {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, bool>) {
            return self->insert(static_cast<Tango::DevBoolean>(v));
          } else if constexpr (std::is_same_v<T, int16_t>) {
            return self->insert(static_cast<Tango::DevShort>(v));
          } else if constexpr (std::is_same_v<T, int32_t>) {
            return self->insert(static_cast<Tango::DevLong>(v));
          } else if constexpr (std::is_same_v<T, float>) {
            return self->insert(static_cast<Tango::DevFloat>(v));
          } else if constexpr (std::is_same_v<T, double>) {
            return self->insert(static_cast<Tango::DevDouble>(v));
          } else if constexpr (std::is_same_v<T, std::string>) {
            return self->insert(v.c_str());
          } else {
            return self->insert();
          }
        },
        record->result);
  }

  // A long operation returns once it has yielded for the first time (it is then under way:
  // a call submitted after it runs inside that yield) or has ended.
  auto started = thread_->submit([record](Morvand&) {
    std::lock_guard lock(record->mutex);
    return record->finished;
  });
  if (started.wait_for(kReplyTime) != std::future_status::ready) return self->insert();
  bool finished = false;
  try {
    finished = started.get();
  } catch (...) {
    rethrowAsTango(std::current_exception());
  }
  if (finished) {
    if (record->error) rethrowAsTango(record->error);
    if (command.canRefuse && !record->messages.empty()) {
      std::string text;
      for (const auto& m : record->messages) text += (text.empty() ? "" : "\n") + m;
      fail("MorvandLaser_Refused", text);
    }
  }
  return self->insert();
}

}  // namespace morvand::tango
