#include "util/numeric.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "morvand/errors.hpp"

namespace morvand::util {

double roundHalfEven(double value) { return std::nearbyint(value); }

namespace {

template <typename T>
T roundInto(double value, const char* what) {
  const double r = roundHalfEven(value);
  if (std::isnan(r) || r < static_cast<double>(std::numeric_limits<T>::min()) ||
      r > static_cast<double>(std::numeric_limits<T>::max())) {
    throw OverflowError(std::string("overflow: value does not fit ") + what);
  }
  return static_cast<T>(r);
}

template <typename T>
T narrow(int64_t value, const char* what) {
  if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
    throw OverflowError(std::string("overflow: value does not fit ") + what);
  }
  return static_cast<T>(value);
}

}  // namespace

int16_t toInt16(double value) { return roundInto<int16_t>(value, "a 16-bit integer"); }
int32_t toInt32(double value) { return roundInto<int32_t>(value, "a 32-bit integer"); }
int16_t checkedInt16(int64_t value) { return narrow<int16_t>(value, "a 16-bit integer"); }
int32_t checkedInt32(int64_t value) { return narrow<int32_t>(value, "a 32-bit integer"); }

namespace {
// Doubles from here on round to infinity as singles (the largest single plus half its step);
// below it they round to a finite single, the largest one included.
constexpr double kSingleOverflow = 0x1.ffffffp+127;
}  // namespace

float toSingle(double value) {
  if (std::isfinite(value) && std::fabs(value) >= kSingleOverflow) {
    throw OverflowError("overflow: value does not fit a single");
  }
  return static_cast<float>(value);
}

double divide(double a, double b) {
  if (b == 0.0) throw FloatError("division by zero");
  const double q = a / b;
  if (std::isnan(q)) throw FloatError("result is not a number");
  return q;
}

std::string formatSingle(float value) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

std::string formatDouble(double value) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

namespace {

/// Trims the text and brings it into the one form from_chars takes on every library
/// (no leading "+", a digit before a leading point); false when it is not a decimal number.
bool normalizeNumber(std::string_view text, std::string& buf) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  // Digits, point, exponent and signs only: the library parser would also take "inf" and
  // "nan", which would reach a set-point or a settings field as a non-number.
  if (text.find_first_not_of("0123456789.eE+-") != std::string_view::npos) return false;
  if (text.front() == '-') {
    buf += '-';
    text.remove_prefix(1);
  }
  if (!text.empty() && text.front() == '.') buf += '0';
  buf.append(text);
  return true;
}

}  // namespace

bool parseNumber(std::string_view text, double& value) {
  std::string buf;
  if (!normalizeNumber(text, buf)) return false;
  double v = 0.0;
  auto res = std::from_chars(buf.data(), buf.data() + buf.size(), v);
  if (res.ec != std::errc() || res.ptr != buf.data() + buf.size()) return false;
  value = v;
  return true;
}

bool parseSingle(std::string_view text, float& value) {
  std::string buf;
  if (!normalizeNumber(text, buf)) return false;
  // Read straight into a single: going through a double first rounds twice and can land
  // on the neighbour of the single that was written.
  float v = 0.0f;
  auto res = std::from_chars(buf.data(), buf.data() + buf.size(), v);
  if (res.ec == std::errc::result_out_of_range && res.ptr == buf.data() + buf.size()) {
    double wide = 0.0;
    if (!parseNumber(text, wide)) return false;
    v = toSingle(wide);  // too large: OverflowError; too small: 0 or the nearest tiny single
  } else if (res.ec != std::errc() || res.ptr != buf.data() + buf.size()) {
    return false;
  }
  value = v;
  return true;
}

}  // namespace morvand::util
