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

float toSingle(double value) {
  if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) {
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

bool parseNumber(std::string_view text, double& value) {
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
  // from_chars takes neither "+" nor ".5"-style text without a leading digit on every
  // library; normalise the one form it may refuse.
  std::string buf;
  if (text.front() == '-') {
    buf += '-';
    text.remove_prefix(1);
  }
  if (!text.empty() && text.front() == '.') buf += '0';
  buf.append(text);
  double v = 0.0;
  auto res = std::from_chars(buf.data(), buf.data() + buf.size(), v);
  if (res.ec != std::errc() || res.ptr != buf.data() + buf.size()) return false;
  value = v;
  return true;
}

}  // namespace morvand::util
