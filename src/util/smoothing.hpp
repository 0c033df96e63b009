#pragma once
/// The running average of the measurements: a short history, newest first, averaged over the
/// readings taken so far until it is full, so the first reading is the true value.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace morvand::util {

/// Shifts value into the front of history (the oldest entry drops out) and counts it in
/// taken, which stops at the history's length.
template <std::size_t N>
void pushReading(std::array<float, N>& history, int32_t& taken, float value) {
  std::copy_backward(history.begin(), history.end() - 1, history.end());
  history.front() = value;
  if (taken < static_cast<int32_t>(N)) ++taken;
}

/// Mean of the readings taken so far (at most N, newest first), in double precision;
/// 0 before the first reading.
template <std::size_t N>
double meanOfTaken(const std::array<float, N>& history, int32_t taken) {
  const auto n = static_cast<std::size_t>(std::clamp<int32_t>(taken, 0, static_cast<int32_t>(N)));
  if (n == 0) return 0.0;
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) sum += history[i];
  return sum / static_cast<double>(n);
}

}  // namespace morvand::util
