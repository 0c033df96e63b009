#pragma once
// The device server's Tango class MorvandLaser: one device per laser, each with its own
// controller thread, card address and settings directory. Attributes and commands are built
// from the controller's property and method tables; events are pushed from a thread of the
// device's own, so that a run never waits for a client.

#include <tango.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "morvand/controller_thread.hpp"
#include "morvand/reflection.hpp"

namespace morvand::tango {

namespace rf = morvand::reflection;

/// How a command runs.
enum class CommandKind {
  Call,        ///< replies with its result (unless it asks a question first: see LastResult)
  Run,         ///< a run: returns once it has started, the device is RUNNING meanwhile
  Long,        ///< a gas procedure, warm-up, test or wait: returns once started, MOVING
  ListOut,     ///< fills a host list: the reply is its items
  ListSelect,  ///< takes the positions selected in the model and gas lists
};

/// The face of one controller method: its Tango command and how it runs.
struct CommandInfo {
  const rf::MethodInfo* method;
  CommandKind kind;
  /// A long operation that ends before its first yield after an operator message was
  /// refused by the controller; the command then fails with that message.
  bool canRefuse;
};

/// Every method of the controller, in table order, with its kind.
const std::vector<CommandInfo>& commandTable();

/// Extra attributes besides the properties (values carried only by the controller's events,
/// and the device's own ones).
enum class Extra {
  Measurements,     ///< float[5]: mtemp, mPressure, mHVoltage, mFilaVolt, mVoltTest
  LaserMessenger,   ///< the last progress or operator text
  MotorRpmRead,     ///< double[3]: mMotorRPM, mMotorV, mMotorV24
  PendingQuestion,  ///< string[]: text, title, buttons ("" for a prompt, then its default)
  LastResult,       ///< "<method>: <result>" of the last operation its command did not wait for
};

/// A question of the controller waiting for Answer.
struct Question {
  bool prompt = false;
  std::string text, title, defaultText;
  int16_t style = 0;
  std::vector<std::string> buttons;  ///< empty for a prompt
};

/// Button names and answer codes of a message-box style (its low three bits).
std::vector<std::pair<std::string, int16_t>> buttonsOf(int16_t style);

class MorvandLaser;

/// State shared by the device, its controller thread (events, questions, job records) and
/// its event pusher. Guarded by mutex.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;   ///< wakes the pusher
  std::condition_variable answered;  ///< wakes a question waiting for Answer
  bool stopping = false;

  // Latest values, with a dirty flag per pushed attribute name.
  int32_t pulseNum = 0;
  float energy = 0, temp = 0, pressure = 0, hVoltage = 0, extRepRate = 0;
  std::vector<float> measurements = std::vector<float>(5, 0.0f);
  std::vector<double> motorRpm = std::vector<double>(3, 0.0);
  int16_t valveState = 0, mmode = 0;
  std::string valveString, message, lastResult;
  bool extStartFlag = false;
  std::vector<std::string> dirty;

  // What the device state is made of.
  int runs = 0, moving = 0;
  int16_t pciCard = 0;
  bool thyState = false, powerOK = true, interlockActive = true, supplyOff = false;
  bool alarm = false;
  bool statusPass = false;  ///< a MorvandStatus pass is queued or running
  std::string fault;        ///< non-empty: the controller could not be created (FAULT)
  bool open = false;        ///< the controller thread exists
  std::vector<Tango::DevState> stateQueue;  ///< states passed through, not yet pushed

  // The question being asked, and its answer.
  std::optional<Question> question;
  std::optional<std::string> answer;
  double answerTimeout = 60.0;
  std::string unattended = "No";

  void markDirty(const std::string& name);
};

/// Properties of a device, from the database, else MORVAND_TANGO_<NAME> in the
/// environment, else the defaults.
struct DeviceProperties {
  std::string card = "sim:1711";
  std::string settingsDirectory;  ///< empty: the per-device default
  std::string speed = "1";
  std::string unattendedAnswer = "No";
  double answerTimeout = 60.0;
};

/// Events and questions of one controller, on its thread.
class Host;

class MorvandLaser : public TANGO_BASE_CLASS {
 public:
  MorvandLaser(Tango::DeviceClass* cls, const std::string& deviceName);
  ~MorvandLaser() override;

  void init_device() override;
  void delete_device() override;
  Tango::DevState dev_state() override;
  Tango::ConstDevString dev_status() override;
  void read_attr_hardware(std::vector<long>& attributes) override;

  /// Attribute entry points: index into the property table.
  void readProperty(size_t index, Tango::Attribute& attribute);
  void writeProperty(size_t index, Tango::WAttribute& attribute);
  void readExtra(Extra which, Tango::Attribute& attribute);
  /// Runs a controller method for its command.
  CORBA::Any* execute(const CommandInfo& command, const CORBA::Any& in,
                      Tango::Command& tangoCommand);
  /// Answers the pending question with a button name (a prompt: the text; "" cancels).
  void answerQuestion(const std::string& answer);
  /// Writes new settings files (model and gas) into the settings directory and opens the
  /// controller; only while it could not be created.
  void writeSettings(const std::string& model, const std::string& gas);
  /// Simulated cards: switches a fault of the simulated laser on or off.
  void simulatorFault(const std::string& name, bool on);
  /// Pushes the State (with its stored value) and Status events.
  void pushState();

  /// Names of the attributes whose change events the device pushes.
  static const std::vector<std::string>& pushedAttributes();

 private:
  DeviceProperties readProperties();
  void openController();
  void closeController();
  void pusherLoop();
  void updateLimits();
  /// Runs fn on the controller thread and waits a bounded time for its result.
  template <class F>
  auto onController(F&& fn);

  DeviceProperties properties_;
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::shared_ptr<Host> host_;
  std::unique_ptr<ControllerThread> thread_;
  std::thread pusher_;
  std::string directory_;

  // Values handed to Tango outlive read(): one slot per property, refreshed by
  // read_attr_hardware.
  struct Slot {
    Tango::DevBoolean b = false;
    Tango::DevShort s = 0;
    Tango::DevLong l = 0;
    Tango::DevFloat f = 0;
    Tango::DevDouble d = 0;
    std::string text;
    Tango::DevString ptr = nullptr;
  };
  std::vector<Slot> slots_;
  std::vector<Tango::DevFloat> measurements_;
  std::vector<Tango::DevDouble> motorRpm_;
  std::vector<std::string> questionText_;
  std::vector<Tango::DevString> questionPtrs_;
  std::string extraText_;
  Tango::DevString extraPtr_ = nullptr;
  std::string status_;
  Tango::DevState pushedState_ = Tango::UNKNOWN;
  std::string pushedStatus_;
  float limits_[3] = {-1, -1, -1};  ///< RepRateMax, HiVoltMin, HiVoltMax last applied
};

class MorvandLaserClass : public Tango::DeviceClass {
 public:
  static MorvandLaserClass* init(const char* className);

 protected:
  explicit MorvandLaserClass(std::string className);
  void command_factory() override;
  void attribute_factory(std::vector<Tango::Attr*>& attributes) override;
  void device_factory(const Tango::DevVarStringArray* names) override;

 private:
  static MorvandLaserClass* instance_;
};

}  // namespace morvand::tango
