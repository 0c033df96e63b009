// The rules table of single models; the common rules are the column defaults.

#include "model/model_rules.hpp"

#include "morvand/models.hpp"

namespace morvand {

namespace {

constexpr MotorKind kAlwaysFast = MotorKind::kAlwaysFast;
constexpr MotorKind kNoMiddleLevel = MotorKind::kNoMiddleLevel;

constexpr ModelRules kRules[] = {
    {.code = 1, .motorKind = kAlwaysFast},
    {.code = 3, .motorKind = kNoMiddleLevel},
    {.code = 9, .hiVoltMaxFirst = 16.5f},
    // No model carries code 15: the row keeps the window the charger rule has for it.
    {.code = 15, .xeClWindow = VoltBounds{.min = 8.0f, .max = 14.0f}},
    {.code = 19, .voltSetF2First = 13.0f, .voltSetF2 = 13.0f, .hiVoltMaxFirst = 16.5f},
    {.code = 27,
     .eoffSetKrF = -2.0f,
     .rateWindow = RateWindow{.gas = kGasArF,
                              .fastFrom = 21,
                              .slow = {.min = 10.0f, .max = 16.5f},
                              .fast = {.max = 16.0f}}},
    {.code = 28,
     .rateWindow = RateWindow{.gas = kGasXeCl,
                              .fastFrom = 102,
                              .slow = {.max = 15.0f},
                              .fast = {.min = 10.0f, .max = 14.0f}}},
    {.code = 31,
     .fillCap = 4500.0f,
     .pumpCheckTime = 3.0f,
     .filterAfterPartialRefill = true,
     .supplyWindow = {.min = 10.0f, .max = 15.0f},
     .supplyMinF2 = 12.0f},
    {.code = 32,
     .voltSet = 8.0f,
     .lowPressureStart = true,
     .supplyWindow = {.min = 8.0f, .max = 12.0f}},
    {.code = 33, .supplyWindow = {.min = 11.0f, .max = 15.0f}},
    {.code = 37, .voltSetF2First = 13.0f},
    {.code = 44, .voltSet = 20.0f, .energyCeiling = 450.0f},
    {.code = 45, .voltSet = 20.0f, .energyCeiling = 450.0f},
    {.code = 48, .voltSetF2 = 13.0f},
    {.code = 54, .voltSet = 11.0f},
    {.code = 55, .voltSet = 20.0f},
    {.code = 56, .voltSetFirst = 12.5f},
};

constexpr ModelRules kCommon{};

}  // namespace

const ModelRules& modelRules(int16_t code) {
  for (const ModelRules& rules : kRules) {
    if (rules.code == code) return rules;
  }
  return kCommon;
}

std::span<const ModelRules> allModelRules() { return kRules; }

}  // namespace morvand
