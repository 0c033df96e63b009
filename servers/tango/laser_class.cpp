// The Tango class MorvandLaser: an attribute for every property and a command for every
// method of the controller, both made from its tables; the device's own attributes and
// commands; and the server's main.

#include <algorithm>
#include <iostream>
#include <map>

#include "laser_device.hpp"

namespace morvand::tango {
namespace {

/// Names Tango reserves (case-insensitively): the controller's `state` property and
/// `status` method get a trailing underscore.
std::string tangoName(std::string_view name) {
  if (name == "state" || name == "status") return std::string(name) + "_";
  return std::string(name);
}

long tangoType(rf::Type type) {
  switch (type) {
    case rf::Type::Bool:
      return Tango::DEV_BOOLEAN;
    case rf::Type::Int16:
      return Tango::DEV_SHORT;
    case rf::Type::Int32:
      return Tango::DEV_LONG;
    case rf::Type::Single:
      return Tango::DEV_FLOAT;
    case rf::Type::Double:
      return Tango::DEV_DOUBLE;
    case rf::Type::String:
      return Tango::DEV_STRING;
    default:
      return Tango::DEV_VOID;
  }
}

/// Units of the properties that have one.
const std::map<std::string_view, const char*>& units() {
  static const std::map<std::string_view, const char*> table{
      {"RepRate", "Hz"},       {"RepRateOld", "Hz"},  {"RepRateTest", "Hz"}, {"RepRateMV", "Hz"},
      {"RepRate0", "Hz"},      {"ExtRepRate", "Hz"},  {"ExtRepRate0", "Hz"}, {"VoltSet", "kV"},
      {"HVoltage", "kV"},      {"HiVoltMax", "kV"},   {"HiVoltMin", "kV"},   {"temp", "degC"},
      {"TempSet", "degC"},     {"ThyTime", "s"},      {"CountPeriod", "s"},  {"ThyLow", "V"},
      {"VoltMotor", "V"},      {"VoltMotorOld", "V"}, {"VmesMotor", "V"},    {"VminMotor", "V"},
      {"StandbyInterval", "s"}};
  return table;
}

/// One controller property as a read-write scalar attribute.
class PropertyAttr : public Tango::Attr {
 public:
  PropertyAttr(const std::string& attrName, long dataType, size_t index)
      : Tango::Attr(attrName.c_str(), dataType, Tango::READ_WRITE), index_(index) {}
  void read(Tango::DeviceImpl* device, Tango::Attribute& attribute) override {
    static_cast<MorvandLaser*>(device)->readProperty(index_, attribute);
  }
  void write(Tango::DeviceImpl* device, Tango::WAttribute& attribute) override {
    static_cast<MorvandLaser*>(device)->writeProperty(index_, attribute);
  }

 private:
  size_t index_;
};

class ExtraScalar : public Tango::Attr {
 public:
  ExtraScalar(const char* attrName, Extra which)
      : Tango::Attr(attrName, Tango::DEV_STRING), which_(which) {}
  void read(Tango::DeviceImpl* device, Tango::Attribute& attribute) override {
    static_cast<MorvandLaser*>(device)->readExtra(which_, attribute);
  }

 private:
  Extra which_;
};

class ExtraSpectrum : public Tango::SpectrumAttr {
 public:
  ExtraSpectrum(const char* attrName, long dataType, long size, Extra which)
      : Tango::SpectrumAttr(attrName, dataType, size), which_(which) {}
  void read(Tango::DeviceImpl* device, Tango::Attribute& attribute) override {
    static_cast<MorvandLaser*>(device)->readExtra(which_, attribute);
  }

 private:
  Extra which_;
};

/// One controller method as a command.
class MethodCommand : public Tango::Command {
 public:
  MethodCommand(const std::string& commandName, Tango::CmdArgType in, Tango::CmdArgType out,
                const CommandInfo& info)
      : Tango::Command(commandName.c_str(), in, out), info_(info) {}
  CORBA::Any* execute(Tango::DeviceImpl* device, const CORBA::Any& in) override {
    return static_cast<MorvandLaser*>(device)->execute(info_, in, *this);
  }

 private:
  CommandInfo info_;
};

class AnswerCommand : public Tango::Command {
 public:
  AnswerCommand()
      : Tango::Command("Answer", Tango::DEV_STRING, Tango::DEV_VOID,
                       "A button of the pending question (Yes, No, OK, Cancel ...) or, for a "
                       "prompt, the text entered (\"\" cancels)",
                       "") {}
  CORBA::Any* execute(Tango::DeviceImpl* device, const CORBA::Any& in) override {
    Tango::DevString answer;
    extract(in, answer);
    static_cast<MorvandLaser*>(device)->answerQuestion(answer);
    return insert();
  }
};

class WriteSettingsCommand : public Tango::Command {
 public:
  WriteSettingsCommand()
      : Tango::Command("WriteSettings", Tango::DEVVAR_STRINGARRAY, Tango::DEV_VOID,
                       "[model, gas], for example [\"LM-10\", \"KrF\"]", "") {}
  CORBA::Any* execute(Tango::DeviceImpl* device, const CORBA::Any& in) override {
    const Tango::DevVarStringArray* args = nullptr;
    extract(in, args);
    if (args->length() != 2) {
      Tango::Except::throw_exception("MorvandLaser_WrongValue", "WriteSettings takes [model, gas]",
                                     "MorvandLaser");
    }
    static_cast<MorvandLaser*>(device)->writeSettings((*args)[0].in(), (*args)[1].in());
    return insert();
  }
};

class SimulatorFaultCommand : public Tango::Command {
 public:
  SimulatorFaultCommand()
      : Tango::Command("SimulatorFault", Tango::DEVVAR_STRINGARRAY, Tango::DEV_VOID,
                       "[fault, \"on\" or \"off\"], for example [\"interlock-open\", \"on\"]", "") {
  }
  CORBA::Any* execute(Tango::DeviceImpl* device, const CORBA::Any& in) override {
    const Tango::DevVarStringArray* args = nullptr;
    extract(in, args);
    const std::string state = args->length() == 2 ? std::string((*args)[1].in()) : "";
    if (state != "on" && state != "off") {
      Tango::Except::throw_exception("MorvandLaser_WrongValue",
                                     "SimulatorFault takes [fault, \"on\" or \"off\"]",
                                     "MorvandLaser");
    }
    static_cast<MorvandLaser*>(device)->simulatorFault((*args)[0].in(), state == "on");
    return insert();
  }
};

Tango::CmdArgType argType(rf::Type type) { return static_cast<Tango::CmdArgType>(tangoType(type)); }

}  // namespace

const std::vector<CommandInfo>& commandTable() {
  // Operations that run for long return at once; the others reply with their result.
  static const std::map<std::string_view, std::pair<CommandKind, bool>> special{
      {"LaserRun", {CommandKind::Run, true}},
      {"GasAutoRefill", {CommandKind::Long, true}},
      {"GasPartialRefill", {CommandKind::Long, true}},
      {"GasFilterPress", {CommandKind::Long, true}},
      {"FillLaser", {CommandKind::Long, true}},
      {"OpticsSevStart", {CommandKind::Long, true}},
      {"OpticsSevFinish", {CommandKind::Long, true}},
      {"ThyWarmup", {CommandKind::Long, true}},
      {"HVTest", {CommandKind::Long, true}},
      {"MorvandStatus", {CommandKind::Long, false}},
      {"MotorStart", {CommandKind::Long, false}},
      {"MotorSet", {CommandKind::Long, false}},
      {"Waiting", {CommandKind::Long, false}},
      {"Delay", {CommandKind::Long, false}},
      {"GetLaserList", {CommandKind::ListOut, false}},
      {"GetGasList", {CommandKind::ListOut, false}},
      {"SetLaserAndGasType", {CommandKind::ListSelect, false}},
  };
  static const std::vector<CommandInfo> table = [] {
    std::vector<CommandInfo> out;
    for (const rf::MethodInfo& m : rf::methods()) {
      auto it = special.find(m.name);
      if (it == special.end()) {
        out.push_back({&m, CommandKind::Call, false});
      } else {
        out.push_back({&m, it->second.first, it->second.second});
      }
    }
    return out;
  }();
  return table;
}

MorvandLaserClass* MorvandLaserClass::instance_ = nullptr;

MorvandLaserClass::MorvandLaserClass(std::string className) : Tango::DeviceClass(className) {}

MorvandLaserClass* MorvandLaserClass::init(const char* className) {
  if (instance_ == nullptr) instance_ = new MorvandLaserClass(className);
  return instance_;
}

void MorvandLaserClass::command_factory() {
  for (const CommandInfo& info : commandTable()) {
    const rf::MethodInfo& m = *info.method;
    Tango::CmdArgType in = Tango::DEV_VOID;
    Tango::CmdArgType out = argType(m.result);
    switch (info.kind) {
      case CommandKind::Run:
      case CommandKind::Long:
        out = Tango::DEV_VOID;  // the result arrives in LastResult
        break;
      case CommandKind::ListOut:
        out = Tango::DEVVAR_STRINGARRAY;
        break;
      case CommandKind::ListSelect:
        in = Tango::DEVVAR_SHORTARRAY;
        break;
      case CommandKind::Call:
        break;
    }
    if (info.kind != CommandKind::ListOut && info.kind != CommandKind::ListSelect) {
      if (m.arguments.size() == 1) in = argType(m.arguments[0].type);
      if (m.arguments.size() > 1) in = Tango::DEVVAR_STRINGARRAY;
    }
    command_list.push_back(new MethodCommand(tangoName(m.name), in, out, info));
  }
  command_list.push_back(new AnswerCommand());
  command_list.push_back(new WriteSettingsCommand());
  command_list.push_back(new SimulatorFaultCommand());
}

void MorvandLaserClass::attribute_factory(std::vector<Tango::Attr*>& attributes) {
  const auto table = rf::properties();
  for (size_t i = 0; i < table.size(); ++i) {
    const rf::PropertyInfo& p = table[i];
    auto* attr = new PropertyAttr(tangoName(p.name), tangoType(p.type), i);
    Tango::UserDefaultAttrProp props;
    if (auto u = units().find(p.name); u != units().end()) props.set_unit(u->second);
    props.set_description(
        (std::string(rf::typeName(p.type)) + " property of the controller").c_str());
    attr->set_default_properties(props);
    attributes.push_back(attr);
  }
  attributes.push_back(new ExtraSpectrum("Measurements", Tango::DEV_FLOAT, 5, Extra::Measurements));
  attributes.push_back(
      new ExtraSpectrum("MotorRpmRead", Tango::DEV_DOUBLE, 3, Extra::MotorRpmRead));
  attributes.push_back(
      new ExtraSpectrum("PendingQuestion", Tango::DEV_STRING, 8, Extra::PendingQuestion));
  attributes.push_back(new ExtraScalar("LaserMessenger", Extra::LaserMessenger));
  attributes.push_back(new ExtraScalar("LastResult", Extra::LastResult));
  // Every push is sent (no threshold): each pass of a run gives a PulseNum event.
  for (Tango::Attr* attr : attributes) {
    const auto& pushed = MorvandLaser::pushedAttributes();
    if (std::find(pushed.begin(), pushed.end(), attr->get_name()) != pushed.end()) {
      attr->set_change_event(true, false);
    }
  }
}

void MorvandLaserClass::device_factory(const Tango::DevVarStringArray* names) {
  for (CORBA::ULong i = 0; i < names->length(); ++i) {
    auto* device = new MorvandLaser(this, (*names)[i].in());
    device_list.push_back(device);
    if (Tango::Util::_UseDb && !Tango::Util::_FileDb) {
      export_device(device);
    } else {
      export_device(device, device->get_name().c_str());
    }
  }
}

}  // namespace morvand::tango

void Tango::DServer::class_factory() {
  add_class(morvand::tango::MorvandLaserClass::init("MorvandLaser"));
}

int main(int argc, char* argv[]) {
  try {
    Tango::Util* tg = Tango::Util::init(argc, argv);
    tg->server_init(false);
    std::cout << "Ready to accept request" << std::endl;
    tg->server_run();
  } catch (const std::bad_alloc&) {
    std::cerr << "morvand-tango: out of memory" << std::endl;
    return 1;
  } catch (const CORBA::Exception& e) {
    Tango::Except::print_exception(e);
    return 1;
  }
  Tango::Util::instance()->server_cleanup();
  return 0;
}
