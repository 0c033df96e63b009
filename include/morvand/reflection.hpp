#pragma once
/// Property and method tables of the controller: every public property and method by name,
/// with its value types and a typed accessor or invoker. The shell of the operator console
/// (and later the C interface and the language bindings) drive the controller through them.
/// Both tables are generated from the lists next to the declarations (MORVAND_PROPERTIES in
/// properties.hpp, MORVAND_METHODS in morvand.hpp), so a name cannot drift.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "morvand/errors.hpp"
#include "morvand/host.hpp"
#include "morvand/properties.hpp"

namespace morvand {

class Morvand;

namespace reflection {

/// Value types of the automation surface. The order matches the alternatives of Value.
enum class Type : uint8_t { Void, Bool, Int16, Int32, Single, Double, String, List };

/// A property value, a method argument or a method result. Void is "no value" (a method
/// without result); List is a host list control, owned by the caller.
using Value =
    std::variant<std::monostate, bool, int16_t, int32_t, float, double, std::string, ListControl*>;

/// A value of the wrong type, a text that does not convert, or a wrong number of arguments.
class ValueError : public Error {
 public:
  using Error::Error;
};

/// Name of a type as the tables show it ("Boolean", "Int16", "Int32", "Single", "Double",
/// "String", "Object", "" for Void).
std::string_view typeName(Type type);
/// Type of a value.
Type typeOf(const Value& value);

/// One public property: a plain stored value without side effects.
struct PropertyInfo {
  std::string_view name;
  Type type;
  Value (*get)(const Properties& controller);
  /// Throws ValueError when the value is not of the property's type.
  void (*set)(Properties& controller, const Value& value);
  /// What it holds, in one line.
  std::string_view description;
};

/// One argument of a method.
struct ArgumentInfo {
  std::string_view name;
  Type type;
  /// The method changes it and the invoker writes the new value back (MotorVSet's mVolt).
  bool byReference;
};

/// One public method.
struct MethodInfo {
  std::string_view name;
  Type result;
  std::vector<ArgumentInfo> arguments;
  /// Value of the last argument when the caller omits it (LaserRun's mTrigMode).
  std::optional<Value> defaultLast;
  /// Calls the method. args must match the argument types (ValueError otherwise); omitting
  /// the last one is allowed when defaultLast is set. By-reference arguments are written
  /// back into args. Errors of the method itself (morvand::Error) pass through.
  Value (*invoke)(Morvand& controller, std::vector<Value>& args);
  /// What it does, in one line.
  std::string_view description;
};

/// The 87 properties, in table order.
std::span<const PropertyInfo> properties();
/// The 110 methods, in table order.
std::span<const MethodInfo> methods();
/// Lookup by exact (case-sensitive) name; nullptr when there is none.
const PropertyInfo* findProperty(std::string_view name);
const MethodInfo* findMethod(std::string_view name);

/// Text of a value for a person: "True"/"False", whole numbers in decimal, Single and
/// Double in their shortest exact form ("0.1"), strings as they are, "" for Void.
std::string toText(const Value& value);
/// Reads a value of the given type from text. Booleans: true/false, yes/no, on/off (any
/// letter case) or a number (non-zero is True). Integers: a whole decimal number in range.
/// Single/Double: a decimal number with a point. Throws ValueError naming the problem.
/// List values cannot be read from text.
Value fromText(Type type, std::string_view text);

}  // namespace reflection
}  // namespace morvand
