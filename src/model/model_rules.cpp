// The rules table of single models; the common rules are the column defaults.

#include "model/model_rules.hpp"

namespace morvand {

namespace {

constexpr MotorKind kAlwaysFast = MotorKind::kAlwaysFast;
constexpr MotorKind kNoMiddleLevel = MotorKind::kNoMiddleLevel;

constexpr ModelRules kRules[] = {
    {.code = 1, .motorKind = kAlwaysFast},
    {.code = 3, .motorKind = kNoMiddleLevel},
    {.code = 19, .voltSetF2First = 13.0f, .voltSetF2 = 13.0f},
    {.code = 27, .eoffSetKrF = -2.0f},
    {.code = 31, .fillCap = 4500.0f, .pumpCheckTime = 3.0f, .filterAfterPartialRefill = true},
    {.code = 32, .voltSet = 8.0f, .lowPressureStart = true},
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
