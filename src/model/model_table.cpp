// The model table, the gas table and the gas-fill rules: the data every model-dependent value
// of the controller comes from.

#include <algorithm>
#include <string>

#include "morvand/models.hpp"

namespace morvand {

namespace {

constexpr std::optional<float> kKeep = std::nullopt;
constexpr EnergyCell kNoCell{};

constexpr EnergyCell E(float maxEnergy, std::optional<float> scale, float hiMax, float hiMin) {
  return EnergyCell{true, maxEnergy, scale, hiMax, hiMin};
}

constexpr LaserKind kExcimer = LaserKind::kExcimer;
constexpr LaserKind kFluorine = LaserKind::kFluorine;
constexpr LaserKind kNitrogen = LaserKind::kNitrogen;
constexpr LaserKind kCO2 = LaserKind::kCO2;
constexpr GasOffer kFiveGases = GasOffer::kFiveGases;
constexpr GasOffer kF2ArFKrF = GasOffer::kF2ArFKrF;
constexpr GasOffer kArFOnly = GasOffer::kArFOnly;
constexpr GasOffer kCO2Only = GasOffer::kCO2Only;
constexpr GasOffer kN2Only = GasOffer::kN2Only;

// Code, designation, kind, gases, RepRateMax (Hz), ThyLow (V), listed, then the energy cells
// MaxEnergyVal / EnergyScale / HiVoltMax (kV) / HiVoltMin (kV) for F2, ArF, KrF, XeCl, XeF and
// any other gas code. Single-gas models hold their one cell in the last place.
// clang-format off
constexpr ModelInfo kModels[] = {
    {31, "LM-01", kExcimer, kFiveGases, 250, 6.0f, true,
     {E(3, kKeep, 15, 12), E(15, 3, 15, 11), E(25, 5, 15, 11), E(15, 3, 15, 9), E(15, 3.5, 15, 11), E(20, kKeep, 15, 11)}},
    {33, "LM-02", kExcimer, kFiveGases, 500, 6.0f, true,
     {E(3, kKeep, 15, 12.5), E(20, 4, 15, 11), E(30, 6, 15, 11), E(20, kKeep, 15, 11), E(15, 3.5, 15, 11), E(20, kKeep, 15, 11)}},
    {42, "LM-03", kExcimer, kFiveGases, 760, 6.0f, true,
     {E(3, kKeep, 15, 12.5), E(15, 3, 15, 11), E(25, 5, 15, 11), E(15, 3, 15, 11), E(15, 3.5, 15, 11), E(20, kKeep, 15, 11)}},
    {58, "LM-04", kExcimer, kFiveGases, 260, 5.9f, true,
     {E(10, kKeep, 15, 11), E(5, 10, 15, 11), E(15, 4, 15, 11), E(10, kKeep, 15, 11), E(10, kKeep, 15, 11), E(10, kKeep, 15, 11)}},
    {59, "LM-05", kExcimer, kArFOnly, 550, 5.9f, true,
     {kNoCell, kNoCell, kNoCell, kNoCell, kNoCell, E(15, 3, 15, 11)}},
    {60, "LM-06", kExcimer, kArFOnly, 1050, 5.9f, true,
     {kNoCell, kNoCell, kNoCell, kNoCell, kNoCell, E(15, 3, 15, 11)}},
    {50, "LM-07", kCO2, kCO2Only, 201, 6.0f, true,
     {kNoCell, kNoCell, kNoCell, kNoCell, kNoCell, E(20, kKeep, 15, 11)}},
    {3, "LM-08", kExcimer, kFiveGases, 100, 6.0f, true,
     {E(3, kKeep, 16.5, 12.5), E(25, kKeep, 16, 10), E(45, kKeep, 16, 10), E(25, kKeep, 15, 9), E(25, kKeep, 16, 10), E(25, kKeep, 16, 10)}},
    {4, "LM-09", kExcimer, kFiveGases, 210, 6.0f, true,
     {E(3, kKeep, 16.5, 12.5), E(25, kKeep, 16, 10), E(45, 8, 16, 10), E(25, kKeep, 15, 9), E(25, kKeep, 16, 10), E(25, kKeep, 16, 10)}},
    {5, "LM-10", kExcimer, kFiveGases, 310, 6.0f, true,
     {E(3, kKeep, 16.5, 12.5), E(25, 5, 16, 9), E(45, 8, 16, 10), E(25, kKeep, 15, 9), E(20, 3.5, 16, 10), E(25, kKeep, 16, 10)}},
    {6, "LM-11", kExcimer, kFiveGases, 610, 6.0f, true,
     {E(3, kKeep, 16.5, 12.5), E(25, 5, 16, 10), E(45, 8, 16, 10), E(25, kKeep, 15, 9), E(25, kKeep, 16, 10), E(25, kKeep, 16, 10)}},
    {26, "LM-12", kExcimer, kFiveGases, 1010, 5.9f, true,
     {E(25, 25, 15, 12.5), E(25, 10, 15, 10), E(40, 8, 15, 10), E(25, 25, 15, 9), E(25, 25, 15, 10), E(25, 25, 15, 10)}},
    {1, "LM-13", kFluorine, kFiveGases, 310, 6.0f, true,
     {E(5, kKeep, 16.5, 12.5), E(10, kKeep, 14, 10), E(10, kKeep, 16, 10), E(10, kKeep, 15, 9), E(10, kKeep, 16, 10), E(10, kKeep, 16, 10)}},
    {2, "LM-14", kFluorine, kFiveGases, 610, 6.0f, true,
     {E(5, kKeep, 16.5, 12.5), E(10, kKeep, 16, 10), E(10, kKeep, 16, 10), E(10, kKeep, 15, 9), E(10, kKeep, 16, 10), E(10, kKeep, 16, 10)}},
    {46, "LM-15", kExcimer, kFiveGases, 310, 6.0f, true,
     {E(3, kKeep, 16.5, 12.5), E(12, 3, 16, 10), E(15, 8, 16, 10), E(25, kKeep, 15, 9), E(20, 3.5, 16, 10), E(25, kKeep, 16, 10)}},
    {49, "LM-16", kExcimer, kFiveGases, 610, 5.9f, true,
     {E(25, 5, 16.5, 12.5), E(25, 5, 15, 9), E(45, 8, 16, 9), E(25, 5, 15, 9), E(25, 5, 16, 10), E(25, 5, 16, 10)}},
    {43, "LM-17", kExcimer, kFiveGases, 760, 5.9f, true,
     {E(25, 5, 16.5, 12.5), E(20, 5, 15, 9), E(20, 5, 16, 9), E(25, 5, 15, 9), E(25, 5, 16, 10), E(25, 5, 16, 10)}},
    {53, "LM-18", kCO2, kCO2Only, 110, 6.0f, true,
     {kNoCell, kNoCell, kNoCell, kNoCell, kNoCell, E(20, kKeep, 16.5, 10)}},
    {10, "LM-19", kExcimer, kFiveGases, 110, 5.9f, true,
     {E(45, 10, 16.5, 12.5), E(45, 10, 16, 11), E(75, 10, 16, 10), E(45, 10, 15, 9), E(45, 10, 16, 10), E(45, 10, 16, 10)}},
    {11, "LM-20", kExcimer, kFiveGases, 260, 5.9f, true,
     {E(45, kKeep, 16.5, 12.5), E(45, 10, 16, 10), E(75, kKeep, 16, 10), E(30, 6, 15, 9), E(45, kKeep, 16, 10), E(45, kKeep, 16, 10)}},
    {12, "LM-21", kExcimer, kFiveGases, 510, 5.9f, true,
     {E(45, kKeep, 16.5, 12.5), E(45, 10, 16, 10), E(75, kKeep, 16, 10), E(30, 6, 15, 9), E(45, kKeep, 16, 10), E(45, kKeep, 16, 10)}},
    {13, "LM-22", kExcimer, kFiveGases, 760, 5.9f, true,
     {E(45, kKeep, 16.5, 12.5), E(45, 10, 16, 10), E(75, kKeep, 16, 10), E(45, kKeep, 15, 9), E(45, kKeep, 16, 10), E(45, kKeep, 16, 10)}},
    {14, "LM-23", kExcimer, kFiveGases, 1010, 5.9f, true,
     {E(45, kKeep, 16.5, 12.5), E(45, 10, 16, 10), E(75, 15, 16, 10), E(45, kKeep, 15, 9), E(45, kKeep, 16, 10), E(45, kKeep, 16, 10)}},
    {23, "LM-24", kFluorine, kFiveGases, 260, 5.9f, true,
     {E(6, 1, 16.5, 12), E(12, 10, 16, 10), E(10, kKeep, 16, 10), E(10, kKeep, 15, 9), E(10, kKeep, 16, 10), E(10, kKeep, 16, 10)}},
    {7, "LM-25", kFluorine, kFiveGases, 510, 5.9f, true,
     {E(6, 1, 16.5, 12.1), E(12, 10, 16, 10), E(10, kKeep, 16, 10), E(10, kKeep, 15, 9), E(10, kKeep, 16, 10), E(10, kKeep, 16, 10)}},
    {8, "LM-26", kFluorine, kFiveGases, 760, 5.9f, true,
     {E(6, 1, 16.5, 12.1), E(12, 10, 14, 10.1), E(10, kKeep, 14, 10.1), E(10, kKeep, 14, 10.1), E(10, kKeep, 14, 10.1), E(10, kKeep, 14, 10.1)}},
    {9, "LM-27", kFluorine, kFiveGases, 1010, 5.9f, true,
     {E(6, 1, 16.5, 12), E(12, 10, 14, 10), E(10, kKeep, 14, 10), E(10, kKeep, 14, 10), E(10, kKeep, 14, 10), E(10, kKeep, 14, 10)}},
    {25, "LM-28", kExcimer, kFiveGases, 260, 5.9f, true,
     {E(10, kKeep, 15, 11), E(50, 10, 15, 11), E(15, 4, 15, 11), E(10, kKeep, 15, 11), E(10, kKeep, 15, 11), E(10, kKeep, 15, 11)}},
    {22, "LM-29", kExcimer, kFiveGases, 760, 5.9f, true,
     {E(15, kKeep, 15, 11), E(15, 2, 15, 11), E(15, kKeep, 15, 11), E(15, kKeep, 15, 11), E(15, kKeep, 15, 11), E(15, kKeep, 15, 11)}},
    {61, "LM-30", kExcimer, kArFOnly, 1050, 5.9f, true,
     {kNoCell, kNoCell, kNoCell, kNoCell, kNoCell, E(15, 3, 15, 10)}},
    {27, "LM-31", kExcimer, kFiveGases, 65, 5.9f, true,
     {E(120, 25, 16.5, 12.5), E(120, 25, 16.5, 11), E(150, 31, 16, 11), E(75, 15, 14, 9), E(120, 25, 16, 10), E(120, 25, 16, 10)}},
    {28, "LM-32", kExcimer, kFiveGases, 140, 5.9f, true,
     {E(12, 25, 16.5, 12.5), E(120, 25, 16.5, 11), E(150, 30, 16, 11), E(75, 15, 14, 9), E(100, 20, 16, 10), E(120, 25, 16, 10)}},
    {29, "LM-33", kExcimer, kFiveGases, 260, 5.9f, true,
     {E(120, 25, 16.5, 12), E(120, 25, 16, 11), E(200, 50, 16, 11), E(75, 15, 14, 9), E(100, 20, 15, 10), E(120, 25, 16.5, 12)}},
    {17, "LM-34", kExcimer, kFiveGases, 510, 5.9f, true,
     {E(75, kKeep, 16.5, 12.5), E(75, 15, 16, 11), E(125, 25, 16, 11), E(75, 15, 14, 9), E(75, kKeep, 16, 10), E(75, kKeep, 16, 10)}},
    {18, "LM-35", kExcimer, kFiveGases, 760, 5.9f, true,
     {E(75, 15, 16.5, 12.5), E(75, 15, 16, 11), E(125, 25, 16, 11), E(75, 15, 14, 9), E(75, 15, 16, 10), E(75, 15, 16, 10)}},
    {19, "LM-36", kExcimer, kFiveGases, 1010, 5.9f, true,
     {E(75, 15, 16.5, 13), E(75, 15, 16.5, 11), E(125, 25, 16.5, 11), E(75, 15, 14, 9), E(75, 15, 16.5, 10), E(75, 15, 16.5, 10)}},
    {34, "LM-37", kExcimer, kFiveGases, 260, 5.9f, true,
     {E(75, kKeep, 16.5, 12.5), E(75, 15, 16, 11), E(125, 25, 16, 11), E(75, kKeep, 15, 9), E(75, kKeep, 16, 10), E(75, kKeep, 16, 10)}},
    {35, "LM-38", kExcimer, kFiveGases, 520, 5.9f, true,
     {E(75, kKeep, 16.5, 12.5), E(75, 15, 16, 11), E(125, 25, 16, 11), E(75, kKeep, 15, 9), E(75, kKeep, 16, 10), E(75, kKeep, 16, 10)}},
    {36, "LM-39", kExcimer, kFiveGases, 760, 5.9f, true,
     {E(75, kKeep, 16.5, 12.5), E(75, 15, 16, 11), E(125, 25, 16, 11), E(75, kKeep, 15, 9), E(75, kKeep, 16, 10), E(75, kKeep, 16, 10)}},
    {37, "LM-40", kExcimer, kFiveGases, 1010, 5.9f, true,
     {E(75, kKeep, 16.5, 13), E(75, 15, 16, 11), E(125, 25, 16, 11), E(75, kKeep, 15, 9), E(75, kKeep, 16, 10), E(75, kKeep, 16, 10)}},
    {38, "LM-41", kExcimer, kFiveGases, 75, 5.9f, true,
     {E(120, 25, 16.5, 12.5), E(120, 25, 16, 11), E(200, 50, 16, 11), E(120, 25, 15, 9), E(120, 25, 16, 10), E(120, 25, 16, 10)}},
    {39, "LM-42", kExcimer, kFiveGases, 140, 5.9f, true,
     {E(12, 3, 16.5, 12.5), E(100, kKeep, 16, 11), E(160, 30, 16, 11), E(100, 20, 15, 9), E(100, 20, 16, 10), E(100, kKeep, 16, 10)}},
    {40, "LM-43", kExcimer, kFiveGases, 260, 5.9f, true,
     {E(120, 25, 16.5, 12), E(120, 25, 16, 11), E(200, 50, 16.5, 11), E(120, 25, 16.5, 12), E(100, 20, 15, 10), E(120, 25, 16.5, 12)}},
    {41, "LM-44", kExcimer, kFiveGases, 510, 5.9f, true,
     {E(120, 25, 16.5, 12.5), E(120, 25, 16, 11), E(200, 50, 16, 11), E(120, 25, 16.5, 12.5), E(100, 20, 15, 10), E(120, 25, 16.5, 12.5)}},
    {54, "LM-45", kExcimer, kFiveGases, 510, 5.9f, true,
     {E(8, 1.6, 15, 11), E(8, 1.6, 15, 11), E(8, 1.6, 15, 11), E(8, 1.6, 15, 11), E(8, 1.6, 15, 11), E(8, 1.6, 15, 11)}},
    {57, "LM-46", kCO2, kCO2Only, 65, 6.0f, true,
     {kNoCell, kNoCell, kNoCell, kNoCell, kNoCell, E(300, 60, 15, 10)}},
    {51, "LM-47", kExcimer, kFiveGases, 70, 5.9f, true,
     {E(120, 25, 16.5, 12.5), E(120, 25, 16.5, 11), E(175, 35, 16, 11), E(75, 15, 14, 9), E(120, 25, 16, 10), E(120, 25, 16, 10)}},
    {52, "LM-48", kExcimer, kFiveGases, 140, 5.9f, true,
     {E(12, 25, 16.5, 12.5), E(120, 25, 16.5, 11), E(175, 35, 16, 11), E(75, 15, 14, 9), E(100, 20, 16, 10), E(120, 25, 16, 10)}},
    {47, "LM-49", kExcimer, kFiveGases, 75, 6.0f, true,
     {E(120, 25, 16.5, 12.5), E(120, 25, 16, 11), E(200, 50, 16, 11), E(120, 25, 15, 9), E(120, 25, 16, 10), E(120, 25, 16, 10)}},
    {48, "LM-50", kExcimer, kFiveGases, 140, 5.9f, true,
     {E(12, 3, 16.5, 13), E(120, 25, 16.5, 11), E(150, 30, 16, 11), E(80, 16, 15, 9), E(100, 20, 16, 10), E(120, 25, 16, 10)}},
    {44, "LM-51", kExcimer, kF2ArFKrF, 25, 6.0f, true,
     {E(150, 35, 25, 20), E(150, 35, 25, 20), E(350, 75, 24, 19), kNoCell, kNoCell, kNoCell}},
    {45, "LM-52", kExcimer, kF2ArFKrF, 50, 6.0f, true,
     {E(150, 35, 25, 20), E(150, 35, 25, 20), E(350, 75, 24, 19), kNoCell, kNoCell, kNoCell}},
    {55, "LM-53", kCO2, kCO2Only, 10, 6.0f, true,
     {kNoCell, kNoCell, kNoCell, kNoCell, kNoCell, E(350, 75, 25, 19)}},
    {56, "LM-54", kCO2, kCO2Only, 1101, 6.0f, true,
     {kNoCell, kNoCell, kNoCell, kNoCell, kNoCell, E(20, kKeep, 16.5, 12.5)}},
    {24, "LM-55", kExcimer, kFiveGases, 1010, 5.9f, false,
     {E(10, kKeep, 15, 11), E(15, 2, 15, 11), E(15, kKeep, 15, 11), E(10, kKeep, 15, 11), E(10, kKeep, 15, 11), E(10, kKeep, 15, 11)}},
    {32, "LM-56", kNitrogen, kN2Only, 210, 6.0f, false,
     {kNoCell, kNoCell, kNoCell, kNoCell, kNoCell, E(1, kKeep, 12, 8)}},
};
// clang-format on

constexpr int kListedModels = 54;

constexpr GasInfo kGases[] = {
    {kGasF2, "F2", "FLUORINE 157nm"}, {kGasArF, "ArF", "ArF 193nm"},
    {kGasKrF, "KrF", "KrF 248nm"},    {kGasXeCl, "XeCl", "XeCl 308nm"},
    {kGasXeF, "XeF", "XeF 351nm"},    {kGasCO2, "CO2", "CO2 10600nm"},
    {kGasN2, "N2", "N2 337nm"},
};

// A set of model codes given as inclusive ranges; the first range holding the code wins.
struct CodeRange {
  int16_t first;
  int16_t last;
};

template <size_t N>
constexpr bool inRanges(const CodeRange (&ranges)[N], int16_t code) {
  return std::any_of(std::begin(ranges), std::end(ranges),
                     [code](const CodeRange& r) { return code >= r.first && code <= r.last; });
}

// Thyratron warm-up classes, s. Codes in none of them warm up for 499 s.
struct WarmClass {
  CodeRange codes;
  float seconds;
};
constexpr WarmClass kWarmClasses[] = {
    {{31, 33}, 240.0f}, {{42, 42}, 240.0f}, {{50, 50}, 240.0f}, {{58, 58}, 240.0f},
    {{1, 6}, 300.0f},   {{26, 26}, 300.0f}, {{46, 46}, 300.0f}, {{53, 53}, 300.0f},
    {{44, 45}, 360.0f}, {{55, 55}, 360.0f}, {{7, 19}, 480.0f},  {{22, 25}, 480.0f},
    {{27, 30}, 480.0f}, {{34, 41}, 480.0f},
};
constexpr float kDefaultWarmTime = 499.0f;
// The 240 s class also takes its slow motor threshold at a quarter of the maximum rate.
constexpr float kQuarterSlowWarmTime = 240.0f;

constexpr CodeRange kCoarseGauge[] = {{31, 31}, {33, 33}, {42, 42}, {50, 50}, {58, 60}};
constexpr int32_t kCoarseGaugeScale = 1350;
constexpr int32_t kFineGaugeScale = 645;

struct PressMaxClass {
  CodeRange codes;
  float torr;
};
constexpr PressMaxClass kPressMaxClasses[] = {
    {{26, 26}, 4000.0f}, {{28, 28}, 4000.0f}, {{30, 30}, 3200.0f}, {{31, 31}, 4500.0f},
    {{33, 33}, 4500.0f}, {{42, 42}, 4500.0f}, {{58, 58}, 4500.0f},
};
constexpr float kDefaultPressMax = 3100.0f;

// Fill descriptions (GasText1).
constexpr const char* kFill157 = "157nm Gas Exchange";
constexpr const char* kFill157High = "157nm Gas Exchange High Energy";
constexpr const char* kFill157Dot = "157nm Gas Exchange.";
constexpr const char* kFillHigh = "Gas Exchange High Energy";
constexpr const char* kFill193 = "193nm Gas Fill";
constexpr const char* kFill193High = "193nm Gas Exchange High Energy";
constexpr const char* kFill248 = "248nm Gas Exchange";
constexpr const char* kFill308 = "308nm Gas Exchange";
constexpr const char* kFill351 = "351nm Gas Exchange";
constexpr const char* kFillN2 = "N2 337nm";

// A fill pair and description. Torr values of 0 mean no pair; a null text keeps the one
// already chosen.
struct FillRule {
  int16_t gas;   // gas code; in the model overrides 0 means any gas
  int16_t code;  // model code; in the gas rules 0 marks the gas's default
  float low;
  float high;
  const char* text;
};

// Per gas: the default (code 0) first, then the model codes with their own pair.
constexpr FillRule kGasFillRules[] = {
    {kGasF2, 0, 0, 0, kFill157},
    {kGasF2, 1, 2400, 3000, nullptr},
    {kGasF2, 2, 2400, 3000, nullptr},
    {kGasF2, 5, 2400, 3000, nullptr},
    {kGasF2, 6, 2400, 3000, nullptr},
    {kGasF2, 3, 2500, 3000, nullptr},
    {kGasF2, 4, 2500, 3000, nullptr},
    {kGasF2, 7, 2850, 3050, nullptr},
    {kGasF2, 8, 2850, 3050, kFill157High},
    {kGasF2, 9, 2350, 2650, kFill157High},
    {kGasF2, 11, 2150, 2500, nullptr},
    {kGasF2, 15, 2350, 2700, nullptr},
    {kGasF2, 18, 2650, 3050, kFill157High},
    {kGasF2, 19, 2650, 3050, kFill157High},
    {kGasF2, 23, 2350, 2800, kFill157High},
    {kGasF2, 30, 3000, 3250, kFill157High},
    {kGasF2, 31, 2750, 3000, kFill157Dot},
    {kGasF2, 33, 2650, 3000, kFill157Dot},
    {kGasF2, 36, 2650, 3000, kFill157Dot},
    {kGasF2, 37, 2850, 3000, kFill157Dot},
    {kGasF2, 41, 2850, 3250, kFill157High},
    {kGasArF, 0, 2425, 2700, kFill193},
    {kGasArF, 2, 2450, 2700, nullptr},
    {kGasArF, 9, 2300, 2800, kFill193High},
    {kGasArF, 18, 2350, 2800, kFill193High},
    {kGasArF, 23, 2350, 2800, nullptr},
    {kGasArF, 30, 3000, 2850, kFill193High},
    {kGasArF, 31, 3850, 4300, nullptr},
    {kGasArF, 33, 3850, 4300, nullptr},
    {kGasArF, 42, 3850, 4300, nullptr},
    {kGasKrF, 0, 2425, 2700, kFill248},
    {kGasKrF, 31, 3500, 3900, nullptr},
    {kGasKrF, 33, 3500, 3800, nullptr},
    {kGasKrF, 42, 3400, 3800, nullptr},
    {kGasXeCl, 0, 2900, 3300, kFill308},
    {kGasXeCl, 3, 3600, 4000, nullptr},
    {kGasXeCl, 28, 3600, 4000, nullptr},
    {kGasXeCl, 4, 3500, 4000, nullptr},
    {kGasXeCl, 6, 3500, 4000, nullptr},
    {kGasXeCl, 5, 2850, 3500, nullptr},
    {kGasXeCl, 15, 2750, 3000, nullptr},
    {kGasXeCl, 31, 4100, 4500, nullptr},
    {kGasXeCl, 33, 3850, 4400, nullptr},
    {kGasXeF, 0, 2425, 2800, kFill351},
    {kGasXeF, 29, 2800, 3000, nullptr},
    {kGasXeF, 31, 3500, 3800, nullptr},
    {kGasXeF, 33, 3500, 3800, nullptr},
};

// Then by model code, whatever the gas rules gave; the first entry that matches wins.
constexpr FillRule kModelFillRules[] = {
    {kGasKrF, 9, 2150, 2500, nullptr},  {kGasXeCl, 9, 2150, 2500, nullptr},
    {kGasXeF, 9, 2150, 2500, nullptr},  {kGasXeCl, 14, 2550, 3000, kFillHigh},
    {0, 14, 2375, 2600, kFillHigh},     {0, 26, 3550, 4000, nullptr},
    {kGasArF, 29, 2325, 2600, nullptr}, {0, 32, 1150, 1250, kFillN2},
    {0, 42, 600, 1200, nullptr},        {kGasArF, 43, 1700, 1900, nullptr},
    {kGasKrF, 43, 1850, 2100, nullptr}, {0, 43, 2350, 2700, nullptr},
    {kGasArF, 49, 1700, 1900, nullptr}, {kGasKrF, 49, 1850, 2100, nullptr},
    {0, 49, 2350, 2700, nullptr},
};

// Operation titles (GasText2); other gases keep the previous title.
struct OperationTitle {
  int16_t gas;
  const char* text;
};
constexpr OperationTitle kOperationTitles[] = {{kGasF2, "F2 Operation"},
                                               {kGasArF, "ArF Operation"}};

// Pump-out time limits, s: partial refill, automatic refill. Code 0 is the default.
struct PumpoutTimes {
  int16_t code;
  float partial;
  float full;
};
constexpr PumpoutTimes kPumpoutTimes[] = {
    {0, 60.0f, 360.0f}, {31, 60.0f, 60.0f}, {15, 90.0f, 500.0f}, {42, 150.0f, 500.0f}};

constexpr HighRepRule kHighRepRules[] = {
    {9, kGasF2, 16.5f, 850, 15.0f, 2350.0f, 800},   {9, kGasArF, 15.0f, 850, 14.0f, 2250.0f, 800},
    {14, 0, 16.5f, 850, 14.0f, 2050.0f, 800},       {19, kGasF2, 16.5f, 800, 15.0f, 2250.0f, 800},
    {19, kGasArF, 14.0f, 800, 12.0f, 1900.0f, 800}, {30, kGasF2, 16.5f, 300, 15.0f, 2250.0f, 300},
    {30, kGasArF, 14.0f, 400, 12.0f, 1900.0f, 400},
};

void apply(const FillRule& rule, FillTarget& target) {
  if (rule.low != 0 || rule.high != 0) {
    target.FillPressLow = rule.low;
    target.FillPressHigh = rule.high;
  }
  if (rule.text != nullptr) target.GasText1 = rule.text;
}

}  // namespace

std::span<const GasInfo> gases() { return kGases; }

const GasInfo* findGas(int16_t code) {
  for (const GasInfo& gas : kGases) {
    if (gas.code == code) return &gas;
  }
  return nullptr;
}

const char* kindWord(LaserKind kind) {
  switch (kind) {
    case LaserKind::kExcimer:
      return "EXCIMER";
    case LaserKind::kFluorine:
      return "FLUORINE";
    case LaserKind::kNitrogen:
      return "NITROGEN";
    case LaserKind::kCO2:
      return "CO2";
  }
  return "";
}

std::string ModelInfo::shortTitle() const { return std::string(designation) + " KORVEN LASER "; }

std::string ModelInfo::longTitle() const {
  return std::string(designation) + " " + kindWord(kind) + " LASER CONTROL SOFTWARE";
}

int16_t ModelInfo::gasFor(int16_t gas) const {
  switch (offer) {
    case GasOffer::kFiveGases:
      return gas;
    case GasOffer::kF2ArFKrF:
      if (gas < kGasF2) return kGasArF;
      if (gas > kGasKrF) return kGasKrF;
      return gas;
    case GasOffer::kArFOnly:
      return kGasArF;
    case GasOffer::kCO2Only:
      return kGasCO2;
    case GasOffer::kN2Only:
      return kGasN2;
  }
  return gas;
}

const EnergyCell& ModelInfo::cellFor(int16_t gas) const {
  const bool singleGas = offer != GasOffer::kFiveGases && offer != GasOffer::kF2ArFKrF;
  if (!singleGas && gas >= kGasF2 && gas <= kGasXeF && energy[gas - 1].defined) {
    return energy[gas - 1];
  }
  return energy[kOtherGasCell];
}

std::span<const ModelInfo> allModels() { return kModels; }

std::span<const ModelInfo> listedModels() {
  return std::span<const ModelInfo>(kModels).first(kListedModels);
}

const ModelInfo* findModel(int16_t code) {
  for (const ModelInfo& model : kModels) {
    if (model.code == code) return &model;
  }
  return nullptr;
}

float thyWarmTimeFor(int16_t code) {
  for (const WarmClass& c : kWarmClasses) {
    if (code >= c.codes.first && code <= c.codes.last) return c.seconds;
  }
  return kDefaultWarmTime;
}

bool quarterSlowRate(int16_t code) { return thyWarmTimeFor(code) == kQuarterSlowWarmTime; }

int32_t pressScaleFor(int16_t code) {
  return inRanges(kCoarseGauge, code) ? kCoarseGaugeScale : kFineGaugeScale;
}

float pressMaxFor(int16_t code) {
  for (const PressMaxClass& c : kPressMaxClasses) {
    if (code >= c.codes.first && code <= c.codes.last) return c.torr;
  }
  return kDefaultPressMax;
}

FillTarget fillTargetFor(int16_t code, int16_t gas) {
  FillTarget target;
  for (const PumpoutTimes& times : kPumpoutTimes) {
    if (times.code == 0 || times.code == code) {
      target.PartialPumpoutTime = times.partial;
      target.PumpoutTime = times.full;
    }
  }
  for (const OperationTitle& title : kOperationTitles) {
    if (title.gas == gas) target.GasText2 = title.text;
  }
  // The gas's default, then its rule for this model code, if any.
  const FillRule* byCode = nullptr;
  for (const FillRule& rule : kGasFillRules) {
    if (rule.gas != gas) continue;
    if (rule.code == 0) apply(rule, target);
    if (rule.code == code && byCode == nullptr) byCode = &rule;
  }
  if (byCode != nullptr) apply(*byCode, target);
  for (const FillRule& rule : kModelFillRules) {
    if (rule.code == code && (rule.gas == 0 || rule.gas == gas)) {
      apply(rule, target);
      break;
    }
  }
  return target;
}

const HighRepRule* findHighRepRule(int16_t code, int16_t gas) {
  for (const HighRepRule& rule : kHighRepRules) {
    if (rule.code == code && (rule.gas == 0 || rule.gas == gas)) return &rule;
  }
  return nullptr;
}

}  // namespace morvand
