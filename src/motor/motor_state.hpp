#pragma once
#include <cstdint>

namespace morvand::detail {

/// Motor drive and speed measurement.
struct MotorState {};

}  // namespace morvand::detail
