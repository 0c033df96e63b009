// The C interface: a controller thread behind an opaque handle, the property and method
// tables by name, errors as status codes with a per-thread text. No exception leaves here.

#include "morvand/morvand_c.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "morvand/controller_thread.hpp"
#include "morvand/reflection.hpp"

namespace {

using morvand::ControllerThread;
using morvand::Morvand;
namespace rf = morvand::reflection;

thread_local std::string lastError;
thread_local std::string textResult;

/// The callbacks of one laser; events and questions reach them through the controller thread.
struct Callbacks final : morvand::Events, morvand::QuestionHandler {
  std::mutex mutex;
  morvand_event_fn event = nullptr;
  void* eventUser = nullptr;
  morvand_message_box_fn box = nullptr;
  morvand_input_box_fn prompt = nullptr;
  void* questionUser = nullptr;

  static morvand_value integer(morvand_type type, int64_t v) { return {type, v, 0.0, nullptr}; }
  static morvand_value number(morvand_type type, double v) { return {type, 0, v, nullptr}; }
  static morvand_value text(const std::string& v) { return {MORVAND_STRING, 0, 0.0, v.c_str()}; }
  static morvand_value boolean(bool v) { return {MORVAND_BOOLEAN, v ? -1 : 0, 0.0, nullptr}; }

  void raise(const char* name, std::vector<morvand_value>& values) {
    morvand_event_fn fn;
    void* user;
    {
      std::lock_guard lock(mutex);
      fn = event;
      user = eventUser;
    }
    if (fn != nullptr) fn(user, name, values.data(), static_cast<int>(values.size()));
  }

  void Warmingup(float WarmingTime, bool& Cancel) override {
    std::vector v{number(MORVAND_SINGLE, WarmingTime), boolean(Cancel)};
    raise("Warmingup", v);
    Cancel = v[1].integer != 0;
  }
  void LaserRunning(int32_t mPulseNum, float mEnergy) override {
    std::vector v{integer(MORVAND_INT32, mPulseNum), number(MORVAND_SINGLE, mEnergy)};
    raise("LaserRunning", v);
  }
  void Measurements(float mtemp, float mPressure, float mHVoltage, float mFilaVolt,
                    float mVoltTest) override {
    std::vector v{number(MORVAND_SINGLE, mtemp), number(MORVAND_SINGLE, mPressure),
                  number(MORVAND_SINGLE, mHVoltage), number(MORVAND_SINGLE, mFilaVolt),
                  number(MORVAND_SINGLE, mVoltTest)};
    raise("Measurements", v);
  }
  void ValveStatus(int16_t mValveState, const std::string& mValveString) override {
    std::vector v{integer(MORVAND_INT16, mValveState), text(mValveString)};
    raise("ValveStatus", v);
  }
  void ExtRepRateRead(float mExtRepRate, const std::string& Msg) override {
    std::vector v{number(MORVAND_SINGLE, mExtRepRate), text(Msg)};
    raise("ExtRepRateRead", v);
  }
  void LaserMessenger(const std::string& mLaserMessage) override {
    std::vector v{text(mLaserMessage)};
    raise("LaserMessenger", v);
  }
  void PCIcardSelect(int16_t& mlstDeviceIndex) override {
    std::vector v{integer(MORVAND_INT16, mlstDeviceIndex)};
    raise("PCIcardSelect", v);
    if (v[0].integer >= std::numeric_limits<int16_t>::min() &&
        v[0].integer <= std::numeric_limits<int16_t>::max()) {
      mlstDeviceIndex = static_cast<int16_t>(v[0].integer);
    }
  }
  void ExtStartState(bool mExtStartFlag) override {
    std::vector v{boolean(mExtStartFlag)};
    raise("ExtStartState", v);
  }
  void MotorSelect(int16_t mMotorMode, int16_t mID) override {
    std::vector v{integer(MORVAND_INT16, mMotorMode), integer(MORVAND_INT16, mID)};
    raise("MotorSelect", v);
  }
  void MotorRpmRead(double mMotorRPM, float mMotorV, float mMotorV24) override {
    std::vector v{number(MORVAND_DOUBLE, mMotorRPM), number(MORVAND_SINGLE, mMotorV),
                  number(MORVAND_SINGLE, mMotorV24)};
    raise("MotorRpmRead", v);
  }

  int16_t messageBox(const std::string& msg, int16_t style, const std::string& title) override {
    morvand_message_box_fn fn;
    void* user;
    {
      std::lock_guard lock(mutex);
      fn = box;
      user = questionUser;
    }
    if (fn == nullptr) return morvand::unattendedAnswer(style);
    return static_cast<int16_t>(fn(user, msg.c_str(), style, title.c_str()));
  }
  std::string inputBox(const std::string& text, const std::string& title,
                       const std::string& defaultText) override {
    morvand_input_box_fn fn;
    void* user;
    {
      std::lock_guard lock(mutex);
      fn = prompt;
      user = questionUser;
    }
    if (fn == nullptr) return {};
    char answer[1024] = {0};
    fn(user, text.c_str(), title.c_str(), defaultText.c_str(), answer, sizeof answer);
    answer[sizeof answer - 1] = '\0';
    return answer;
  }
};

/// Keeps text as the thread's error text and returns status.
morvand_status failure(morvand_status status, std::string text) {
  lastError = std::move(text);
  return status;
}

/// Runs body and turns what it throws into a status and the thread's error text.
template <class F>
morvand_status guarded(F&& body) {
  lastError.clear();
  try {
    return body();
  } catch (const morvand::ClosedError& e) {
    return failure(MORVAND_CLOSED, e.what());
  } catch (const rf::ValueError& e) {
    return failure(MORVAND_BAD_TYPE, e.what());
  } catch (const morvand::IndexError& e) {
    return failure(MORVAND_INDEX_ERROR, e.what());
  } catch (const morvand::OverflowError& e) {
    return failure(MORVAND_OVERFLOW_ERROR, e.what());
  } catch (const morvand::FloatError& e) {
    return failure(MORVAND_FLOAT_ERROR, e.what());
  } catch (const morvand::ListError& e) {
    return failure(MORVAND_LIST_ERROR, e.what());
  } catch (const morvand::SettingsError& e) {
    return failure(MORVAND_SETTINGS_ERROR, e.what());
  } catch (const morvand::BackendError& e) {
    return failure(MORVAND_BACKEND_ERROR, e.what());
  } catch (const morvand::Error& e) {
    return failure(MORVAND_ERROR, e.what());
  } catch (const std::exception& e) {
    return failure(MORVAND_HOST_ERROR, e.what());
  } catch (...) {
    return failure(MORVAND_HOST_ERROR, "unknown error");
  }
}

const rf::PropertyInfo* property(const char* name) {
  const rf::PropertyInfo* p = name != nullptr ? rf::findProperty(name) : nullptr;
  if (p == nullptr) {
    throw rf::ValueError("no property named \"" + std::string(name ? name : "") + "\"");
  }
  return p;
}

/// A whole number as a value of an integer (or Boolean, or floating) type.
rf::Value fromInteger(rf::Type type, int64_t v, std::string_view what) {
  const auto outside = [&](const char* range) {
    return morvand::OverflowError(std::string(what) + ": " + std::to_string(v) +
                                  " is outside the " + range + " range");
  };
  switch (type) {
    case rf::Type::Bool:
      return v != 0;
    case rf::Type::Int16:
      if (v < INT16_MIN || v > INT16_MAX) throw outside("Int16");
      return static_cast<int16_t>(v);
    case rf::Type::Int32:
      if (v < INT32_MIN || v > INT32_MAX) throw outside("Int32");
      return static_cast<int32_t>(v);
    case rf::Type::Single:
      return static_cast<float>(v);
    case rf::Type::Double:
      return static_cast<double>(v);
    default:
      throw rf::ValueError(std::string(what) + " is " + std::string(rf::typeName(type)) +
                           ", not a number");
  }
}

rf::Value fromNumber(rf::Type type, double v, std::string_view what) {
  if (type == rf::Type::Double) return v;
  if (type == rf::Type::Single) {
    if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max()) {
      throw morvand::OverflowError(std::string(what) + ": " + std::to_string(v) +
                                   " is outside the Single range");
    }
    return static_cast<float>(v);
  }
  throw rf::ValueError(std::string(what) + " is " + std::string(rf::typeName(type)) +
                       ", not a floating number");
}

/// A C argument as a value of the method's argument type.
rf::Value fromC(const morvand_value& v, rf::Type type, std::string_view what) {
  switch (v.type) {
    case MORVAND_BOOLEAN:
    case MORVAND_INT16:
    case MORVAND_INT32:
      return fromInteger(type, v.integer, what);
    case MORVAND_SINGLE:
    case MORVAND_DOUBLE:
      return fromNumber(type, v.number, what);
    case MORVAND_STRING:
      if (type == rf::Type::String) return std::string(v.text != nullptr ? v.text : "");
      return rf::fromText(type, v.text != nullptr ? v.text : "");
    default:
      throw rf::ValueError(std::string(what) + ": no value given");
  }
}

/// A value into a C value; text is kept in the thread's text result.
void toC(const rf::Value& value, morvand_value& out) {
  out = {static_cast<morvand_type>(rf::typeOf(value)), 0, 0.0, nullptr};
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool>) {
          out.integer = v ? -1 : 0;
        } else if constexpr (std::is_same_v<T, int16_t> || std::is_same_v<T, int32_t>) {
          out.integer = v;
        } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
          out.number = v;
        } else if constexpr (std::is_same_v<T, std::string>) {
          textResult = v;
          out.text = textResult.c_str();
        }
      },
      value);
}

}  // namespace

struct morvand_laser {
  std::shared_ptr<Callbacks> callbacks = std::make_shared<Callbacks>();
  std::unique_ptr<ControllerThread> thread;
  std::vector<std::string> refTexts;  // texts of by-reference results of the last call
};

namespace {

morvand_status checkLaser(morvand_laser* laser) {
  if (laser == nullptr) return failure(MORVAND_BAD_ARGUMENT, "no laser (NULL)");
  return MORVAND_OK;
}

rf::Value getProperty(morvand_laser* laser, const char* name) {
  const rf::PropertyInfo* p = property(name);
  return laser->thread->call([p](Morvand& m) { return p->get(m); });
}

void setProperty(morvand_laser* laser, const rf::PropertyInfo* p, rf::Value value) {
  laser->thread->call([p, &value](Morvand& m) { p->set(m, value); });
}

}  // namespace

extern "C" {

const char* morvand_last_error(void) { return lastError.c_str(); }

morvand_status morvand_open(const char* card, const char* directory, double speed,
                            morvand_laser** laser) {
  return guarded([&] {
    if (laser == nullptr) return failure(MORVAND_BAD_ARGUMENT, "no place for the laser (NULL)");
    *laser = nullptr;
    morvand::ControllerOptions options;
    options.card = card != nullptr ? card : "sim:1711";
    options.directory = directory != nullptr ? directory : "";
    options.backend.speed = speed;
    auto l = std::make_unique<morvand_laser>();
    l->thread = std::make_unique<ControllerThread>(options);
    l->thread->subscribe(l->callbacks);
    l->thread->setQuestionHandler(l->callbacks);
    *laser = l.release();
    return MORVAND_OK;
  });
}

morvand_status morvand_close(morvand_laser* laser) {
  if (laser == nullptr) return MORVAND_OK;
  return guarded([&] {
    delete laser;
    return MORVAND_OK;
  });
}

morvand_status morvand_write_settings(const char* directory, const char* model, const char* gas) {
  return guarded([&] {
    if (directory == nullptr || model == nullptr || gas == nullptr) {
      return failure(MORVAND_BAD_ARGUMENT, "directory, model and gas are required");
    }
    morvand::writeSettingsFiles(directory, model, gas);
    return MORVAND_OK;
  });
}

morvand_status morvand_property_type(const char* name, morvand_type* type) {
  return guarded([&] {
    if (type == nullptr) return failure(MORVAND_BAD_ARGUMENT, "no place for the type (NULL)");
    const rf::PropertyInfo* p = rf::findProperty(name != nullptr ? name : "");
    if (p == nullptr)
      return failure(MORVAND_BAD_NAME,
                     "no property named \"" + std::string(name ? name : "") + "\"");
    *type = static_cast<morvand_type>(p->type);
    return MORVAND_OK;
  });
}

#define MORVAND_CHECK_NAME(name)                                                       \
  if ((name) == nullptr || rf::findProperty(name) == nullptr) {                        \
    return failure(MORVAND_BAD_NAME,                                                   \
                   "no property named \"" + std::string((name) ? (name) : "") + "\""); \
  }

morvand_status morvand_get_integer(morvand_laser* laser, const char* name, int64_t* value) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  return guarded([&] {
    MORVAND_CHECK_NAME(name)
    if (value == nullptr) return failure(MORVAND_BAD_ARGUMENT, "no place for the value (NULL)");
    morvand_value v;
    toC(getProperty(laser, name), v);
    if (v.type != MORVAND_BOOLEAN && v.type != MORVAND_INT16 && v.type != MORVAND_INT32) {
      return failure(MORVAND_BAD_TYPE, std::string(name) + " is " +
                                           std::string(rf::typeName(rf::findProperty(name)->type)) +
                                           ": read it as floating or text");
    }
    *value = v.integer;
    return MORVAND_OK;
  });
}

morvand_status morvand_get_floating(morvand_laser* laser, const char* name, double* value) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  return guarded([&] {
    MORVAND_CHECK_NAME(name)
    if (value == nullptr) return failure(MORVAND_BAD_ARGUMENT, "no place for the value (NULL)");
    morvand_value v;
    toC(getProperty(laser, name), v);
    if (v.type == MORVAND_SINGLE || v.type == MORVAND_DOUBLE) {
      *value = v.number;
    } else if (v.type == MORVAND_INT16 || v.type == MORVAND_INT32 || v.type == MORVAND_BOOLEAN) {
      *value = static_cast<double>(v.integer);
    } else {
      return failure(MORVAND_BAD_TYPE, std::string(name) + " is String: read it as text");
    }
    return MORVAND_OK;
  });
}

morvand_status morvand_get_text(morvand_laser* laser, const char* name, char* buffer, size_t size,
                                size_t* length) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  return guarded([&] {
    MORVAND_CHECK_NAME(name)
    const std::string text = rf::toText(getProperty(laser, name));
    if (length != nullptr) *length = text.size();
    if (buffer == nullptr || size == 0) {
      return length != nullptr ? MORVAND_OK
                               : failure(MORVAND_BAD_ARGUMENT, "no buffer for the text (NULL)");
    }
    std::memcpy(buffer, text.data(), std::min(text.size(), size - 1));
    buffer[std::min(text.size(), size - 1)] = '\0';
    if (text.size() >= size) {
      return failure(MORVAND_BAD_ARGUMENT, "the text of " + std::string(name) + " needs " +
                                               std::to_string(text.size() + 1) + " bytes");
    }
    return MORVAND_OK;
  });
}

morvand_status morvand_set_integer(morvand_laser* laser, const char* name, int64_t value) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  return guarded([&] {
    MORVAND_CHECK_NAME(name)
    const rf::PropertyInfo* p = property(name);
    setProperty(laser, p, fromInteger(p->type, value, name));
    return MORVAND_OK;
  });
}

morvand_status morvand_set_floating(morvand_laser* laser, const char* name, double value) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  return guarded([&] {
    MORVAND_CHECK_NAME(name)
    const rf::PropertyInfo* p = property(name);
    setProperty(laser, p, fromNumber(p->type, value, name));
    return MORVAND_OK;
  });
}

morvand_status morvand_set_text(morvand_laser* laser, const char* name, const char* value) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  return guarded([&] {
    MORVAND_CHECK_NAME(name)
    if (value == nullptr) return failure(MORVAND_BAD_ARGUMENT, "no text (NULL)");
    const rf::PropertyInfo* p = property(name);
    setProperty(
        laser, p,
        p->type == rf::Type::String ? rf::Value(std::string(value)) : rf::fromText(p->type, value));
    return MORVAND_OK;
  });
}

morvand_status morvand_call(morvand_laser* laser, const char* method, morvand_value* args,
                            int count, morvand_value* result) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  return guarded([&] {
    const rf::MethodInfo* info = method != nullptr ? rf::findMethod(method) : nullptr;
    if (info == nullptr) {
      return failure(MORVAND_BAD_NAME,
                     "no method named \"" + std::string(method ? method : "") + "\"");
    }
    if (count < 0 || (count > 0 && args == nullptr)) {
      return failure(MORVAND_BAD_ARGUMENT, "count and args do not agree");
    }
    const size_t n = info->arguments.size();
    const size_t given = static_cast<size_t>(count);
    if (given > n || given + (info->defaultLast ? 1 : 0) < n) {
      return failure(MORVAND_BAD_TYPE, std::string(method) + " takes " + std::to_string(n) +
                                           " arguments, not " + std::to_string(given));
    }
    std::vector<rf::Value> values;
    for (size_t i = 0; i < given; ++i) {
      const rf::ArgumentInfo& a = info->arguments[i];
      if (a.type == rf::Type::List) {
        return failure(MORVAND_BAD_TYPE, std::string(method) + " takes a host list (" +
                                             std::string(a.name) +
                                             "), which the C interface cannot pass");
      }
      values.push_back(fromC(args[i], a.type, std::string(method) + " " + std::string(a.name)));
    }
    rf::Value out =
        laser->thread->call([info, &values](Morvand& m) { return info->invoke(m, values); });
    laser->refTexts.clear();
    for (size_t i = 0; i < given; ++i) {
      if (!info->arguments[i].byReference) continue;
      toC(values[i], args[i]);
      if (args[i].type == MORVAND_STRING) {
        laser->refTexts.push_back(args[i].text);
        args[i].text = laser->refTexts.back().c_str();
      }
    }
    if (result != nullptr) toC(out, *result);
    return MORVAND_OK;
  });
}

morvand_status morvand_set_event_callback(morvand_laser* laser, morvand_event_fn fn, void* user) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  std::lock_guard lock(laser->callbacks->mutex);
  laser->callbacks->event = fn;
  laser->callbacks->eventUser = user;
  lastError.clear();
  return MORVAND_OK;
}

morvand_status morvand_set_question_callbacks(morvand_laser* laser, morvand_message_box_fn box,
                                              morvand_input_box_fn prompt, void* user) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  std::lock_guard lock(laser->callbacks->mutex);
  laser->callbacks->box = box;
  laser->callbacks->prompt = prompt;
  laser->callbacks->questionUser = user;
  lastError.clear();
  return MORVAND_OK;
}

morvand_status morvand_inject(morvand_laser* laser, const char* fault, int on) {
  if (checkLaser(laser) != MORVAND_OK) return MORVAND_BAD_ARGUMENT;
  return guarded([&] {
    const std::string name = fault != nullptr ? fault : "";
    ControllerThread& t = *laser->thread;
    const bool known = t.call([&](Morvand&) { return t.backend().setFault(name, on != 0); });
    if (!known) {
      std::string names;
      for (const std::string& f : t.call([&](Morvand&) { return t.backend().faultNames(); })) {
        names += (names.empty() ? "" : ", ") + f;
      }
      return failure(MORVAND_BAD_NAME,
                     "no fault \"" + name + "\" on " +
                         (names.empty() ? "this card" : "the simulator: " + names));
    }
    return MORVAND_OK;
  });
}

}  // extern "C"
