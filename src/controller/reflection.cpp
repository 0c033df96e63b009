// Property and method tables. The property table expands MORVAND_PROPERTIES; the method
// table expands MORVAND_METHODS and takes the address of each member function, so the
// argument and result types come from the declarations and a misspelt name does not compile.

#include "morvand/reflection.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>
#include <type_traits>
#include <utility>

#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand::reflection {
namespace {

template <class T>
struct TypeCode;
template <>
struct TypeCode<void> {
  static constexpr Type value = Type::Void;
};
template <>
struct TypeCode<bool> {
  static constexpr Type value = Type::Bool;
};
template <>
struct TypeCode<int16_t> {
  static constexpr Type value = Type::Int16;
};
template <>
struct TypeCode<int32_t> {
  static constexpr Type value = Type::Int32;
};
template <>
struct TypeCode<float> {
  static constexpr Type value = Type::Single;
};
template <>
struct TypeCode<double> {
  static constexpr Type value = Type::Double;
};
template <>
struct TypeCode<std::string> {
  static constexpr Type value = Type::String;
};
template <>
struct TypeCode<ListControl> {
  static constexpr Type value = Type::List;
};

template <class T>
using Bare = std::remove_cvref_t<T>;

template <class T>
constexpr Type typeCode = TypeCode<Bare<T>>::value;

// The value a parameter of type P receives from an argument slot. Mutable references bind
// to the slot itself, so a change made by the method is seen by the caller.
template <class P>
decltype(auto) bind(Value& slot) {
  if constexpr (std::is_same_v<Bare<P>, ListControl>) {
    return *std::get<ListControl*>(slot);
  } else {
    return (std::get<Bare<P>>(slot));
  }
}

template <class P>
constexpr bool isMutableRef =
    std::is_lvalue_reference_v<P> && !std::is_const_v<std::remove_reference_t<P>> &&
    !std::is_same_v<Bare<P>, ListControl>;

void checkArguments(const MethodInfo& info, std::vector<Value>& args) {
  const auto& params = info.arguments;
  if (args.size() + 1 == params.size() && info.defaultLast) args.push_back(*info.defaultLast);
  if (args.size() != params.size()) {
    throw ValueError(std::string(info.name) + " takes " + std::to_string(params.size()) +
                     " argument" + (params.size() == 1 ? "" : "s") + ", " +
                     std::to_string(args.size()) + " given");
  }
  for (size_t i = 0; i < params.size(); ++i) {
    if (typeOf(args[i]) != params[i].type) {
      throw ValueError(std::string(info.name) + ": argument " + std::string(params[i].name) +
                       " must be " + std::string(typeName(params[i].type)) + ", not " +
                       std::string(typeName(typeOf(args[i]))));
    }
    if (params[i].type == Type::List && std::get<ListControl*>(args[i]) == nullptr) {
      throw ValueError(std::string(info.name) + ": argument " + std::string(params[i].name) +
                       " has no list");
    }
  }
}

template <auto Fn>
struct Method;

template <class R, class... A, R (Morvand::*Fn)(A...)>
struct Method<Fn> {
  static Value invoke(Morvand& m, std::vector<Value>& args) {
    return [&]<size_t... I>(std::index_sequence<I...>)->Value {
      if constexpr (std::is_void_v<R>) {
        (m.*Fn)(bind<A>(args[I])...);
        return Value{};
      } else {
        return Value{std::in_place_type<R>, (m.*Fn)(bind<A>(args[I])...)};
      }
    }
    (std::index_sequence_for<A...>{});
  }

  static MethodInfo info(std::string_view name, std::string_view argNames,
                         std::string_view description) {
    MethodInfo out{name, typeCode<R>, {}, std::nullopt, nullptr, description};
    std::array<Type, sizeof...(A)> types{typeCode<A>...};
    std::array<bool, sizeof...(A)> refs{isMutableRef<A>...};
    for (size_t i = 0; i < sizeof...(A); ++i) {
      const size_t end = std::min(argNames.find(' '), argNames.size());
      out.arguments.push_back({argNames.substr(0, end), types[i], refs[i]});
      argNames.remove_prefix(std::min(end + 1, argNames.size()));
    }
    return out;
  }
};

template <auto Fn>
Value invokeChecked(Morvand& m, std::vector<Value>& args);

// Reads the default of a method's last argument ("" for none) as a value of its type.
std::optional<Value> defaultOf(const MethodInfo& info, std::string_view text);

std::vector<MethodInfo> buildMethods() {
  std::vector<MethodInfo> out;
#define MORVAND_METHOD_ENTRY(name, args, defaultText, description)       \
  out.push_back(Method<&Morvand::name>::info(#name, args, description)); \
  out.back().defaultLast = defaultOf(out.back(), defaultText);           \
  out.back().invoke = &invokeChecked<&Morvand::name>;
  MORVAND_METHODS(MORVAND_METHOD_ENTRY)
#undef MORVAND_METHOD_ENTRY
  return out;
}

const std::vector<MethodInfo>& methodTable() {
  static const std::vector<MethodInfo> table = buildMethods();
  return table;
}

template <auto Fn>
Value invokeChecked(Morvand& m, std::vector<Value>& args) {
  // Find this method's own entry to check the arguments against its signature.
  for (const MethodInfo& info : methodTable()) {
    if (info.invoke == &invokeChecked<Fn>) {
      checkArguments(info, args);
      break;
    }
  }
  return Method<Fn>::invoke(m, args);
}

template <class T>
void setChecked(T& field, const Value& value, std::string_view name) {
  if (!std::holds_alternative<T>(value)) {
    throw ValueError(std::string(name) + " is " + std::string(typeName(typeCode<T>)) + ", not " +
                     std::string(typeName(typeOf(value))));
  }
  field = std::get<T>(value);
}

const PropertyInfo propertyTable[] = {
#define MORVAND_PROPERTY_ENTRY(type, name, init, description)                             \
  PropertyInfo{#name, typeCode<type>,                                                     \
               [](const Properties& m) {                                                  \
                 return Value{std::in_place_type<type>, m.name};                          \
               },                                                                         \
               [](Properties& m, const Value& v) { setChecked<type>(m.name, v, #name); }, \
               description},
    MORVAND_PROPERTIES(MORVAND_PROPERTY_ENTRY)
#undef MORVAND_PROPERTY_ENTRY
};

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

double readNumber(std::string_view text, Type type) {
  double value = 0;
  if (!util::parseNumber(text, value)) {
    throw ValueError("\"" + std::string(text) + "\" is not a number (" +
                     std::string(typeName(type)) + " expected)");
  }
  return value;
}

template <class Int>
Int readWhole(std::string_view text, Type type) {
  const double value = readNumber(text, type);
  if (value != std::trunc(value)) {
    throw ValueError("\"" + std::string(text) + "\" is not a whole number (" +
                     std::string(typeName(type)) + " expected)");
  }
  if (value < static_cast<double>(std::numeric_limits<Int>::min()) ||
      value > static_cast<double>(std::numeric_limits<Int>::max())) {
    throw ValueError("\"" + std::string(text) + "\" is outside the " + std::string(typeName(type)) +
                     " range " + std::to_string(std::numeric_limits<Int>::min()) + " to " +
                     std::to_string(std::numeric_limits<Int>::max()));
  }
  return static_cast<Int>(value);
}

}  // namespace

std::string_view typeName(Type type) {
  switch (type) {
    case Type::Void:
      return "";
    case Type::Bool:
      return "Boolean";
    case Type::Int16:
      return "Int16";
    case Type::Int32:
      return "Int32";
    case Type::Single:
      return "Single";
    case Type::Double:
      return "Double";
    case Type::String:
      return "String";
    case Type::List:
      return "Object";
  }
  return "";
}

Type typeOf(const Value& value) { return static_cast<Type>(value.index()); }

std::span<const PropertyInfo> properties() { return propertyTable; }

std::span<const MethodInfo> methods() { return methodTable(); }

const PropertyInfo* findProperty(std::string_view name) {
  for (const PropertyInfo& p : propertyTable) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

const MethodInfo* findMethod(std::string_view name) {
  for (const MethodInfo& m : methodTable()) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

std::string toText(const Value& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(bool b) const { return b ? "True" : "False"; }
    std::string operator()(int16_t v) const { return std::to_string(v); }
    std::string operator()(int32_t v) const { return std::to_string(v); }
    std::string operator()(float v) const { return util::formatSingle(v); }
    std::string operator()(double v) const { return util::formatDouble(v); }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(ListControl*) const { return "<list>"; }
  };
  return std::visit(Visitor{}, value);
}

namespace {
std::optional<Value> defaultOf(const MethodInfo& info, std::string_view text) {
  if (text.empty() || info.arguments.empty()) return std::nullopt;
  return fromText(info.arguments.back().type, text);
}
}  // namespace

Value fromText(Type type, std::string_view text) {
  switch (type) {
    case Type::Void:
      return Value{};
    case Type::Bool: {
      const std::string word = lower(text);
      if (word == "true" || word == "yes" || word == "on") return Value{true};
      if (word == "false" || word == "no" || word == "off") return Value{false};
      // Any non-zero number counts as True (True itself is -1 on the automation surface).
      return Value{readNumber(text, type) != 0.0};
    }
    case Type::Int16:
      return Value{std::in_place_type<int16_t>, readWhole<int16_t>(text, type)};
    case Type::Int32:
      return Value{std::in_place_type<int32_t>, readWhole<int32_t>(text, type)};
    case Type::Single: {
      const double value = readNumber(text, type);
      try {
        return Value{std::in_place_type<float>, util::toSingle(value)};
      } catch (const OverflowError&) {
        throw ValueError("\"" + std::string(text) + "\" is outside the Single range");
      }
    }
    case Type::Double:
      return Value{std::in_place_type<double>, readNumber(text, type)};
    case Type::String:
      return Value{std::in_place_type<std::string>, std::string(text)};
    case Type::List:
      break;
  }
  throw ValueError("a list cannot be given as text");
}

}  // namespace morvand::reflection
