// The Python package's core (morvand._morvand): a Laser over the controller thread whose
// attributes and methods are generated from the property and method tables, events and
// questions to Python callables, the controller's errors as Python exceptions.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "morvand/controller_thread.hpp"
#include "morvand/models.hpp"
#include "morvand/reflection.hpp"

namespace py = pybind11;
namespace rf = morvand::reflection;

namespace {

using morvand::ControllerThread;
using morvand::Morvand;

/// Names of the ten events, in the order the controller declares them.
const std::vector<std::string>& eventNames() {
  static const std::vector<std::string> names{
      "Warmingup",      "LaserRunning",  "Measurements",  "ValveStatus", "ExtRepRateRead",
      "LaserMessenger", "PCIcardSelect", "ExtStartState", "MotorSelect", "MotorRpmRead"};
  return names;
}

/// Exception classes of the package, created at import.
struct Errors {
  py::object Error, IndexError, OverflowError, FloatError, ListError, SettingsError, BackendError,
      ClosedError;
};
Errors& errors() {
  static Errors* e = new Errors();  // lives as long as the interpreter; never destroyed
  return *e;
}

/// The Python exception for a C++ one (call with the GIL held).
py::object pythonError(std::exception_ptr error) {
  Errors& e = errors();
  try {
    std::rethrow_exception(error);
  } catch (py::error_already_set& err) {
    return err.value();
  } catch (const rf::ValueError& err) {
    return py::reinterpret_borrow<py::object>(PyExc_TypeError)(err.what());
  } catch (const morvand::ClosedError& err) {
    return e.ClosedError(err.what());
  } catch (const morvand::IndexError& err) {
    return e.IndexError(err.what());
  } catch (const morvand::OverflowError& err) {
    return e.OverflowError(err.what());
  } catch (const morvand::FloatError& err) {
    return e.FloatError(err.what());
  } catch (const morvand::ListError& err) {
    return e.ListError(err.what());
  } catch (const morvand::SettingsError& err) {
    return e.SettingsError(err.what());
  } catch (const morvand::BackendError& err) {
    return e.BackendError(err.what());
  } catch (const morvand::Error& err) {
    return e.Error(err.what());
  } catch (const std::exception& err) {
    return py::reinterpret_borrow<py::object>(PyExc_RuntimeError)(err.what());
  }
}

std::string pythonTypeName(rf::Type type) {
  switch (type) {
    case rf::Type::Bool:
      return "bool";
    case rf::Type::Int16:
    case rf::Type::Int32:
      return "int";
    case rf::Type::Single:
    case rf::Type::Double:
      return "float";
    case rf::Type::String:
      return "str";
    case rf::Type::List:
      return "object";
    case rf::Type::Void:
      break;
  }
  return "None";
}

/// A Python value as a value of the table type; TypeError or OverflowError naming what.
rf::Value fromPython(const py::handle& value, rf::Type type, const std::string& what) {
  const auto wrong = [&] {
    return py::type_error(what + " must be " + pythonTypeName(type) + " (" +
                          std::string(rf::typeName(type)) + "), not " +
                          std::string(py::str(py::type::handle_of(value).attr("__name__"))));
  };
  const bool isBool = py::isinstance<py::bool_>(value);
  const bool isInt = py::isinstance<py::int_>(value) && !isBool;
  switch (type) {
    case rf::Type::Bool:
      if (!isBool) throw wrong();
      return value.cast<bool>();
    case rf::Type::Int16:
    case rf::Type::Int32: {
      if (!isInt) throw wrong();
      const auto v = value.cast<long long>();
      const bool small = type == rf::Type::Int16;
      const long long lo = small ? INT16_MIN : INT32_MIN;
      const long long hi = small ? INT16_MAX : INT32_MAX;
      if (v < lo || v > hi) {
        throw morvand::OverflowError(what + ": " + std::to_string(v) + " is outside " +
                                     std::to_string(lo) + " to " + std::to_string(hi));
      }
      return small ? rf::Value(static_cast<int16_t>(v)) : rf::Value(static_cast<int32_t>(v));
    }
    case rf::Type::Single:
    case rf::Type::Double: {
      if (!isInt && !py::isinstance<py::float_>(value)) throw wrong();
      const double v = value.cast<double>();
      if (type == rf::Type::Double) return v;
      if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max()) {
        throw morvand::OverflowError(what + ": " + std::to_string(v) +
                                     " is outside the Single range");
      }
      return static_cast<float>(v);
    }
    case rf::Type::String:
      if (!py::isinstance<py::str>(value)) throw wrong();
      return value.cast<std::string>();
    default:
      throw py::type_error(what + " takes a host list, which Python cannot pass");
  }
}

py::object toPython(const rf::Value& value) {
  return std::visit(
      [](const auto& v) -> py::object {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate> ||
                      std::is_same_v<T, morvand::ListControl*>) {
          return py::none();
        } else {
          return py::cast(v);
        }
      },
      value);
}

/// Events and questions to Python callables; runs on the controller thread.
struct PythonHost final : morvand::Events, morvand::QuestionHandler {
  // Touched only with the GIL held.
  std::map<std::string, std::vector<py::object>> handlers;
  py::object ask, prompt;

  ~PythonHost() override {
    if (Py_IsInitialized() == 0) return;
    py::gil_scoped_acquire gil;
    handlers.clear();
    ask = py::object();
    prompt = py::object();
  }

  template <class... A>
  void raise(const char* name, A&&... args) {
    py::gil_scoped_acquire gil;
    auto it = handlers.find(name);
    if (it == handlers.end()) return;
    const std::vector<py::object> callbacks = it->second;
    for (const py::object& fn : callbacks) fn(args...);  // error_already_set ends the operation
  }

  void Warmingup(float WarmingTime, bool& Cancel) override {
    py::gil_scoped_acquire gil;
    auto it = handlers.find("Warmingup");
    if (it == handlers.end()) return;
    // A callback cancels the warm-up by returning True.
    const std::vector<py::object> callbacks = it->second;
    for (const py::object& fn : callbacks) {
      if (py::bool_(fn(WarmingTime))) Cancel = true;
    }
  }
  void LaserRunning(int32_t mPulseNum, float mEnergy) override {
    raise("LaserRunning", mPulseNum, mEnergy);
  }
  void Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                    float mVoltTest) override {
    raise("Measurements", mtemp, mPressure, mHVoltage, mFilaVolt, mVoltTest);
  }
  void ValveStatus(int16_t mValveState, const std::string& mValveString) override {
    raise("ValveStatus", mValveState, mValveString);
  }
  void ExtRepRateRead(float mExtRepRate, const std::string& Msg) override {
    raise("ExtRepRateRead", mExtRepRate, Msg);
  }
  void LaserMessenger(const std::string& mLaserMessage) override {
    raise("LaserMessenger", mLaserMessage);
  }
  void PCIcardSelect(int16_t& mlstDeviceIndex) override { raise("PCIcardSelect", mlstDeviceIndex); }
  void ExtStartState(bool mExtStartFlag) override { raise("ExtStartState", mExtStartFlag); }
  void MotorSelect(int16_t mMotorMode, int16_t mID) override {
    raise("MotorSelect", mMotorMode, mID);
  }
  void MotorRpmRead(double mMotorRPM, float mMotorV, float mMotorV24) override {
    raise("MotorRpmRead", mMotorRPM, mMotorV, mMotorV24);
  }

  int16_t messageBox(const std::string& text, int16_t style, const std::string& title) override {
    py::gil_scoped_acquire gil;
    if (!ask) return morvand::unattendedAnswer(style);
    return ask(text, style, title).cast<int16_t>();
  }
  std::string inputBox(const std::string& text, const std::string& title,
                       const std::string& defaultText) override {
    py::gil_scoped_acquire gil;
    if (!prompt) return {};
    py::object answer = prompt(text, title, defaultText);
    return answer.is_none() ? std::string() : answer.cast<std::string>();
  }
};

class Laser {
 public:
  Laser(std::string card, std::string directory, py::object speed, py::object ask,
        py::object prompt)
      : host_(std::make_shared<PythonHost>()) {
    options_.card = std::move(card);
    options_.directory = std::move(directory);
    if (speed.is_none()) {
      options_.backend.speed = 1.0;
    } else if (py::isinstance<py::str>(speed)) {
      if (speed.cast<std::string>() != "max") {
        throw py::value_error("speed must be None, a factor of real time or \"max\"");
      }
      options_.backend.speed = 0.0;
    } else {
      options_.backend.speed = speed.cast<double>();
      if (!(options_.backend.speed > 0.0)) throw py::value_error("speed must be above 0");
    }
    host_->ask = std::move(ask);
    host_->prompt = std::move(prompt);
  }
  ~Laser() {
    try {
      close();
    } catch (...) {
    }
  }

  /// Runs fn on the controller thread with the GIL released while waiting.
  template <class F>
  auto call(F&& fn) {
    ControllerThread& t = thread();
    py::gil_scoped_release release;
    return t.call(std::forward<F>(fn));
  }

  /// Creates the controller and opens its card as StandardCard does.
  Laser& open() {
    if (thread_) return *this;
    {
      py::gil_scoped_release release;
      thread_ = std::make_unique<ControllerThread>(options_);
    }
    thread_->subscribe(host_);
    thread_->setQuestionHandler(host_);
    const bool found = call([](Morvand& m) { return m.StandardCard(); });
    if (!found) {
      close();
      throw morvand::BackendError("no card answered on " + options_.card);
    }
    return *this;
  }

  void close() {
    if (!thread_) return;
    std::unique_ptr<ControllerThread> t = std::move(thread_);
    py::gil_scoped_release release;
    t.reset();  // the destruction sequence writes the settings back
  }

  bool isOpen() const { return thread_ != nullptr; }

  ControllerThread& thread() {
    if (!thread_) throw morvand::ClosedError("the laser is not open (use it in a with block)");
    return *thread_;
  }

  py::object get(const rf::PropertyInfo& p) {
    return toPython(call([&p](Morvand& m) { return p.get(m); }));
  }
  void set(const rf::PropertyInfo& p, const py::handle& value) {
    rf::Value v = fromPython(value, p.type, std::string(p.name));
    call([&p, &v](Morvand& m) { p.set(m, v); });
  }

  std::vector<rf::Value> arguments(const rf::MethodInfo& info, const py::args& args,
                                   const py::kwargs& kwargs) {
    const std::string name(info.name);
    std::vector<py::object> given;
    for (const py::handle& a : args) given.push_back(py::reinterpret_borrow<py::object>(a));
    if (given.size() > info.arguments.size()) {
      throw py::type_error(name + "() takes " + std::to_string(info.arguments.size()) +
                           " arguments, " + std::to_string(given.size()) + " given");
    }
    given.resize(info.arguments.size());
    for (auto item : kwargs) {
      const std::string key = py::str(item.first);
      size_t i = 0;
      while (i < info.arguments.size() && info.arguments[i].name != key) ++i;
      if (i == info.arguments.size()) {
        throw py::type_error(name + "() has no argument " + key);
      }
      if (given[i]) throw py::type_error(name + "() got " + key + " twice");
      given[i] = py::reinterpret_borrow<py::object>(item.second);
    }
    std::vector<rf::Value> values;
    for (size_t i = 0; i < given.size(); ++i) {
      const rf::ArgumentInfo& a = info.arguments[i];
      if (!given[i]) {
        if (i + 1 == given.size() && info.defaultLast) break;
        throw py::type_error(name + "() is missing its argument " + std::string(a.name));
      }
      values.push_back(fromPython(given[i], a.type, name + "() argument " + std::string(a.name)));
    }
    return values;
  }

  /// The method's result, followed by what it left in its by-reference arguments.
  py::object result(const rf::MethodInfo& info, const rf::Value& out,
                    const std::vector<rf::Value>& values) {
    std::vector<py::object> parts;
    if (info.result != rf::Type::Void) parts.push_back(toPython(out));
    for (size_t i = 0; i < values.size(); ++i) {
      if (info.arguments[i].byReference) parts.push_back(toPython(values[i]));
    }
    if (parts.empty()) return py::none();
    if (parts.size() == 1) return parts[0];
    return py::tuple(py::cast(parts));
  }

  py::object invoke(const rf::MethodInfo& info, const py::args& args, const py::kwargs& kwargs) {
    std::vector<rf::Value> values = arguments(info, args, kwargs);
    rf::Value out = call([&info, &values](Morvand& m) { return info.invoke(m, values); });
    return result(info, out, values);
  }

  /// Submits a method by name; the Future completes on the controller thread.
  py::object submit(const std::string& name, const py::args& args, const py::kwargs& kwargs) {
    const rf::MethodInfo* info = rf::findMethod(name);
    if (info == nullptr) throw py::attribute_error("no method named \"" + name + "\"");
    auto values = std::make_shared<std::vector<rf::Value>>(arguments(*info, args, kwargs));
    py::object future = py::module_::import("concurrent.futures").attr("Future")();
    future.attr("set_running_or_notify_cancel")();
    auto self = std::make_shared<py::object>(future);
    auto resolve = [this, info, values, self](rf::Value out, std::exception_ptr error) {
      py::gil_scoped_acquire gil;
      if (error) {
        self->attr("set_exception")(pythonError(error));
      } else {
        self->attr("set_result")(result(*info, out, *values));
      }
      *self = py::object();  // drop the reference with the GIL held
    };
    ControllerThread& t = thread();
    py::gil_scoped_release release;
    t.submit([info, values, resolve](Morvand& m) {
      rf::Value out;
      std::exception_ptr error;
      try {
        out = info->invoke(m, *values);
      } catch (...) {
        error = std::current_exception();
      }
      resolve(std::move(out), error);
    });
    return future;
  }

  void on(const std::string& event, py::object callback) {
    const auto& names = eventNames();
    if (std::find(names.begin(), names.end(), event) == names.end()) {
      std::string known;
      for (const auto& n : names) known += (known.empty() ? "" : ", ") + n;
      throw py::value_error("no event \"" + event + "\"; the events are " + known);
    }
    if (!PyCallable_Check(callback.ptr())) throw py::type_error("the callback must be callable");
    host_->handlers[event].push_back(std::move(callback));
  }

  void inject(const std::string& fault, bool on) {
    ControllerThread& t = thread();
    const bool known = call([&](Morvand&) { return t.backend().setFault(fault, on); });
    if (!known) {
      std::string names;
      for (const auto& f : faults()) names += (names.empty() ? "" : ", ") + f;
      throw py::value_error("no fault \"" + fault + "\" on this card" +
                            (names.empty() ? std::string() : "; the faults are " + names));
    }
  }
  std::vector<std::string> faults() {
    ControllerThread& t = thread();
    return call([&](Morvand&) { return t.backend().faultNames(); });
  }

  const std::string& directory() { return thread().directory(); }

 private:
  morvand::ControllerOptions options_;
  std::shared_ptr<PythonHost> host_;
  std::unique_ptr<ControllerThread> thread_;
};

/// laser.simulator: the simulated laser behind a "sim:" card.
struct Simulator {
  Laser* laser;
};

std::string methodSignature(const rf::MethodInfo& info) {
  std::string s = std::string(info.name) + "(";
  for (size_t i = 0; i < info.arguments.size(); ++i) {
    const auto& a = info.arguments[i];
    s += (i ? ", " : "") + std::string(a.name) + ": " + std::string(rf::typeName(a.type));
    if (a.byReference) s += " (by reference)";
    if (i + 1 == info.arguments.size() && info.defaultLast) {
      s += " = " + rf::toText(*info.defaultLast);
    }
  }
  s += ")";
  if (info.result != rf::Type::Void) s += " -> " + std::string(rf::typeName(info.result));
  return s;
}

/// Names and docstrings must outlive the module's definitions.
const char* keep(std::string text) {
  static std::deque<std::string> kept;
  kept.push_back(std::move(text));
  return kept.back().c_str();
}

py::object makeError(py::module_& m, const char* name, py::handle base, py::handle builtin,
                     const char* doc) {
  py::object bases =
      builtin ? py::object(py::make_tuple(base, builtin)) : py::object(py::make_tuple(base));
  PyObject* type =
      PyErr_NewExceptionWithDoc(keep(std::string("morvand.") + name), doc, bases.ptr(), nullptr);
  if (type == nullptr) throw py::error_already_set();
  py::object out = py::reinterpret_steal<py::object>(type);
  m.attr(name) = out;
  return out;
}

}  // namespace

PYBIND11_MODULE(_morvand, m) {
  m.doc() = "Core of the morvand package: the laser controller on its own thread.";
  // Docstrings carry the controller's own signatures, not the generic (*args, **kwargs).
  py::options options;
  options.disable_function_signatures();

  Errors& e = errors();
  {
    PyObject* base = PyErr_NewExceptionWithDoc("morvand.Error", "An error of the laser controller.",
                                               PyExc_RuntimeError, nullptr);
    if (base == nullptr) throw py::error_already_set();
    e.Error = py::reinterpret_steal<py::object>(base);
    m.attr("Error") = e.Error;
  }
  e.IndexError = makeError(m, "IndexError", e.Error, PyExc_IndexError,
                           "An index outside its bounds (a counter number other than 0 to 2).");
  e.OverflowError = makeError(m, "OverflowError", e.Error, PyExc_OverflowError,
                              "A 16- or 32-bit integer conversion or sum that does not fit.");
  e.FloatError = makeError(m, "FloatError", e.Error, PyExc_ArithmeticError,
                           "A floating-point fault (division by zero, not a number).");
  e.ListError = makeError(m, "ListError", e.Error, nullptr, "An invalid index of a list.");
  e.SettingsError = makeError(m, "SettingsError", e.Error, nullptr,
                              "A settings file missing, short or holding a value out of range.");
  e.BackendError = makeError(m, "BackendError", e.Error, nullptr,
                             "A card address that cannot be opened, or no card answering.");
  e.ClosedError = makeError(m, "ClosedError", e.Error, nullptr, "The laser is not open.");
  py::register_exception_translator([](std::exception_ptr p) {
    if (!p) return;
    try {
      std::rethrow_exception(p);
    } catch (const morvand::Error&) {
      const py::object error = pythonError(p);
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    }
  });

  m.def(
      "write_settings",
      [](const std::string& directory, const std::string& model, const std::string& gas) {
        morvand::writeSettingsFiles(directory, model, gas);
      },
      py::arg("directory"), py::arg("model") = "LM-10", py::arg("gas") = "KrF",
      "Writes the settings files of a new installation into directory: model and gas always, "
      "the other files only when missing.");
  m.def(
      "models",
      [] {
        py::list out;
        for (const morvand::ModelInfo& info : morvand::allModels()) {
          py::list offered;
          for (const morvand::GasInfo& g : morvand::gases()) {
            if (info.gasFor(g.code) == g.code) offered.append(g.name);
          }
          py::dict d;
          d["code"] = info.code;
          d["designation"] = info.designation;
          d["title"] = info.longTitle();
          d["RepRateMax"] = info.RepRateMax;
          d["listed"] = info.listed;
          d["gases"] = offered;
          out.append(d);
        }
        return out;
      },
      "The model table: one dict per model (code, designation, title, RepRateMax, listed, "
      "gases).");
  m.def("_events", [] { return eventNames(); });
  m.def("_properties", [] {
    py::list out;
    for (const auto& p : rf::properties()) {
      out.append(py::make_tuple(std::string(p.name), std::string(rf::typeName(p.type)),
                                pythonTypeName(p.type)));
    }
    return out;
  });
  m.def("_methods", [] {
    py::list out;
    for (const auto& info : rf::methods()) {
      py::list args;
      for (const auto& a : info.arguments) {
        args.append(py::make_tuple(std::string(a.name), pythonTypeName(a.type), a.byReference));
      }
      out.append(py::make_tuple(std::string(info.name), pythonTypeName(info.result), args,
                                info.defaultLast ? toPython(*info.defaultLast) : py::none(),
                                methodSignature(info)));
    }
    return out;
  });

  py::class_<Simulator>(m, "Simulator", "The simulated laser behind a \"sim:\" card.")
      .def(
          "inject",
          [](Simulator& s, const std::string& fault, bool on) { s.laser->inject(fault, on); },
          py::arg("fault"), py::arg("on") = true,
          "Switches a fault of the simulated laser on (or off): \"premix-empty\" ...")
      .def_property_readonly(
          "faults", [](Simulator& s) { return s.laser->faults(); }, "Names of the faults.");

  auto cls = py::class_<Laser>(m, "Laser", R"(The laser controller on its own thread.

Laser(card="sim:1711", directory=".", speed=None, ask=None, prompt=None) is a context
manager: entering it creates the controller from the settings files of directory and opens
the card as StandardCard does; leaving it runs the shutdown and writes the settings back.
speed (simulated cards): None for real time, a factor of real time, or "max".
ask(text, style, title) answers message boxes (1 OK, 2 Cancel, 6 Yes, 7 No); prompt(text,
title, default) answers prompts ("" cancels). Without them a box gets No (Cancel, or OK when
it has only that button) and a prompt is cancelled.)");
  cls.def(py::init<std::string, std::string, py::object, py::object, py::object>(),
          py::arg("card") = "sim:1711", py::arg("directory") = ".", py::arg("speed") = py::none(),
          py::arg("ask") = py::none(), py::arg("prompt") = py::none())
      .def("open", &Laser::open, py::return_value_policy::reference,
           "Creates the controller and opens the card (what entering the with block does).")
      .def("close", &Laser::close, "Shuts the laser down and writes the settings back.")
      .def("__enter__", &Laser::open, py::return_value_policy::reference)
      .def("__exit__", [](Laser& l, py::args) { l.close(); })
      .def_property_readonly("is_open", &Laser::isOpen)
      .def_property_readonly("directory", &Laser::directory, "The settings directory.")
      .def("on", &Laser::on, py::arg("event"), py::arg("callback"),
           "Calls callback with the event's values on every event of that name; a Warmingup "
           "callback that returns True cancels the warm-up. An exception ends the running "
           "operation and is raised from the call that started it.")
      .def("submit", &Laser::submit, py::arg("method"),
           "Calls a method without waiting; returns a concurrent.futures.Future.")
      .def_property_readonly(
          "simulator", [](Laser& l) { return Simulator{&l}; }, py::keep_alive<0, 1>(),
          "The simulated laser (simulated cards only).");

  for (const rf::PropertyInfo& p : rf::properties()) {
    const rf::PropertyInfo* info = &p;
    const std::string doc = std::string(p.name) + " (" + std::string(rf::typeName(p.type)) +
                            "): a property of the controller.";
    cls.def_property(
        keep(std::string(p.name)), [info](Laser& l) { return l.get(*info); },
        [info](Laser& l, py::object v) { l.set(*info, v); }, keep(doc));
  }
  for (const rf::MethodInfo& method : rf::methods()) {
    const rf::MethodInfo* info = &method;
    cls.def(
        keep(std::string(method.name)),
        [info](Laser& l, py::args args, py::kwargs kwargs) {
          return l.invoke(*info, args, kwargs);
        },
        keep(methodSignature(method) + "\n\nCalls " + std::string(method.name) +
             " on the controller thread and waits for it (other Python threads run meanwhile)."));
  }
}
