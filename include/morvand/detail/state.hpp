#pragma once
/// Private state of the controller, one small struct per owning subsystem. Each subsystem's
/// structs live in its own header; only that subsystem writes them (others may read).

#include "morvand/detail/card_state.hpp"
#include "morvand/detail/controller_state.hpp"
#include "morvand/detail/firing_state.hpp"
#include "morvand/detail/gas_state.hpp"
#include "morvand/detail/hv_state.hpp"
#include "morvand/detail/model_state.hpp"
#include "morvand/detail/motor_state.hpp"
#include "morvand/detail/thermal_state.hpp"
