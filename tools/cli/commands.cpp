#include "commands.hpp"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "morvand/models.hpp"

namespace morvand::cli {
namespace {

using nlohmann::json;

std::string fixed(double value, int decimals) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(decimals) << value;
  return s.str();
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<int16_t> offeredGases(const ModelInfo& model) {
  switch (model.offer) {
    case GasOffer::kFiveGases:
      return {kGasF2, kGasArF, kGasKrF, kGasXeCl, kGasXeF};
    case GasOffer::kF2ArFKrF:
      return {kGasF2, kGasArF, kGasKrF};
    case GasOffer::kArFOnly:
      return {kGasArF};
    case GasOffer::kCO2Only:
      return {kGasCO2};
    case GasOffer::kN2Only:
      return {kGasN2};
  }
  return {};
}

std::string gasName(int16_t code) {
  const GasInfo* gas = findGas(code);
  return gas != nullptr ? gas->name : "gas " + std::to_string(code);
}

const ModelInfo* modelByDesignation(const std::string& text) {
  for (const ModelInfo& m : allModels()) {
    if (upper(m.designation) == upper(text)) return &m;
  }
  return nullptr;
}

// Settings files are replaced whole (written beside, then renamed), never left half written.
void writeSettingsFile(const std::string& name, const std::string& line) {
  const std::string temp = name + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << line << "\r\n";
    out.flush();
    if (!out) throw Failure("cannot write the settings file " + name);
  }
  std::error_code ec;
  std::filesystem::rename(temp, name, ec);
  if (ec) throw Failure("cannot write the settings file " + name + ": " + ec.message());
}

#ifdef _WIN32
// A new directory under the system's temporary directory, named prefix and a random part
// (Windows has no mkdtemp).
std::string makeTemporaryDirectory(const std::string& prefix) {
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[9];
    std::snprintf(suffix, sizeof suffix, "%08x", random());
    const std::filesystem::path dir = base / (prefix + suffix);
    std::error_code ec;
    if (std::filesystem::create_directory(dir, ec)) return dir.string();
  }
  throw Failure("cannot make a temporary directory");
}
#endif

// What the operator sees when an operation did not do its job: the box that said why.
[[noreturn]] void fail(Console& console, const std::string& what) {
  const std::string why = console.lastProblem();
  throw Failure(why.empty() ? what : what + ": " + why);
}

void printCounters(Console& console, const Morvand& m) {
  console.line("pulses this run: " + std::to_string(m.PulseNum));
  console.line("counter total: " + std::to_string(m.CounterTotal));
  console.line("lifetime pulses: " + std::to_string(m.CumTotalPulses));
  console.line("pulses this fill: " + std::to_string(m.PulsesThisFill));
}

// The gas procedures end with every valve closed; a pressure this close below the fill
// pressure is the dip of the closing filter-press step, not a failed fill.
constexpr float kFillTolerance = 0.98f;

void checkFilled(Console& console, Morvand& m, const std::string& what) {
  const Limits lim = m.limits();
  if (console.declined()) fail(console, what + " not done");
  console.line("chamber pressure: " + fixed(m.Pressure, 0) + " Torr (fill pressure " +
               fixed(lim.FillPressLow, 0) + " to " + fixed(lim.FillPressHigh, 0) + " Torr)");
  if (console.interrupted()) throw Failure(what + " interrupted by the operator");
  if (console.stopped() || console.declined() || lim.FillPressLow <= 0.0f)
    fail(console, what + " failed");
  if (m.Pressure < lim.FillPressLow * kFillTolerance) {
    throw Failure(what + " did not reach the fill pressure: " + fixed(m.Pressure, 0) +
                  " Torr, target " + fixed(lim.FillPressLow, 0) + " Torr");
  }
}

// Runs an operation of the controller with the console showing its progress. A second
// Ctrl-C in an operation without a stop of its own ends it with every valve closed and the
// laser halted.
// Runs on the controller thread (inside a call), as every use of the controller does.
template <class F>
void withActivity(Session& s, Morvand& m, Activity activity, const std::string& label,
                  F&& operation) {
  Console& c = s.console();
  c.begin(activity, label);
  try {
    operation();
  } catch (const Unanswered&) {
    c.end();
    throw;
  } catch (const Interrupted&) {
    c.end();
    c.begin(Activity::Other, "abort");
    m.CloseAllValves();
    m.Halt();
    c.end();
    throw Failure(label + " aborted by the operator; valves closed, laser halted");
  }
  c.end();
}

json readingJson(const Console::Reading& r) {
  return json{{"temp_C", r.temp},
              {"pressure", r.pressure},
              {"hvoltage_kV", r.hvoltage},
              {"filament_V", r.filament},
              {"supply_V", r.supply}};
}

}  // namespace

std::optional<int16_t> parseValvePattern(const std::string& text) {
  if (text == "close") return std::nullopt;
  int base = 10;
  std::string digits = text;
  if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) {
    base = 16;
    digits = digits.substr(2);
  } else if (digits.rfind("0b", 0) == 0 || digits.rfind("0B", 0) == 0) {
    base = 2;
    digits = digits.substr(2);
  }
  if (digits.empty() || digits.size() > 8) {
    throw UsageError("valve pattern \"" + text + "\" is not 0..255 (or close)");
  }
  int value = 0;
  for (char ch : digits) {
    const int d = std::isdigit(static_cast<unsigned char>(ch)) != 0 ? ch - '0'
                  : std::isxdigit(static_cast<unsigned char>(ch)) != 0
                      ? std::tolower(static_cast<unsigned char>(ch)) - 'a' + 10
                      : 99;
    if (d >= base) throw UsageError("valve pattern \"" + text + "\" is not 0..255 (or close)");
    value = value * base + d;
  }
  if (value > 255) throw UsageError("valve pattern \"" + text + "\" is not 0..255 (or close)");
  return static_cast<int16_t>(value);
}

void cmdInit(const GlobalOptions& g, const InitArgs& a) {
  const ModelInfo* model = modelByDesignation(a.model);
  if (model == nullptr) {
    throw UsageError("unknown model \"" + a.model + "\" (morvand models lists them)");
  }
  const auto offered = offeredGases(*model);
  int16_t gas = 0;
  std::string valid;
  for (int16_t code : offered) {
    if (upper(gasName(code)) == upper(a.gas)) gas = code;
    valid += (valid.empty() ? "" : ", ") + gasName(code);
  }
  if (gas == 0) {
    throw Failure(std::string(model->designation) + " does not run on " + a.gas + "; it offers " +
                  valid);
  }
  enterDirectory(g.dir);
  // The model and gas are always written; the counters and carried values of an existing
  // installation are kept (the lifetime pulse count must survive a change of gas).
  std::vector<std::string> kept;
  const auto writeIfMissing = [&](const std::string& name, const std::string& line) {
    if (std::filesystem::exists(name)) {
      kept.push_back(name);
    } else {
      writeSettingsFile(name, line);
    }
  };
  writeIfMissing("Paramdata", "25,0,0,0");
  writeSettingsFile("Typedata", std::to_string(model->code) + "," + std::to_string(gas));
  writeIfMissing("Counter", "0,0");
  writeIfMissing("Industrial", "0");
  std::cout << "settings for " << model->designation << " on " << gasName(gas) << " written to "
            << std::filesystem::current_path().string() << '\n';
  for (const std::string& name : kept) std::cout << "kept the existing " << name << '\n';
}

void cmdModels(bool json) {
  nlohmann::json out = nlohmann::json::array();
  for (const ModelInfo& m : allModels()) {
    nlohmann::json gases = nlohmann::json::array();
    std::string gasText;
    for (int16_t code : offeredGases(m)) {
      const FillTarget fill = fillTargetFor(m.code, code);
      const EnergyCell& cell = m.cellFor(code);
      gases.push_back({{"gas", gasName(code)},
                       {"code", code},
                       {"fillPressLow_Torr", fill.FillPressLow.value_or(0.0f)},
                       {"fillPressHigh_Torr", fill.FillPressHigh.value_or(0.0f)},
                       {"hiVoltMin_kV", cell.HiVoltMin},
                       {"hiVoltMax_kV", cell.HiVoltMax},
                       {"maxEnergy", cell.MaxEnergyVal}});
      // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) about "literal" + temporary.
      if (!gasText.empty()) gasText += ' ';
      gasText += gasName(code);
    }
    if (json) {
      out.push_back({{"model", m.designation},
                     {"code", m.code},
                     {"listed", m.listed},
                     {"title", m.longTitle()},
                     {"repRateMax_Hz", m.RepRateMax},
                     {"pressMax_Torr", pressMaxFor(m.code)},
                     {"gases", gases}});
    } else {
      std::cout << std::left << std::setw(7) << m.designation << " code " << std::setw(3) << m.code
                << std::right << std::setw(5) << m.RepRateMax << " Hz max  " << std::setw(5)
                << pressMaxFor(m.code) << " Torr max  " << gasText
                << (m.listed ? "" : "  (not in the model list)") << '\n';
    }
  }
  if (json) std::cout << out.dump(2) << '\n';
}

namespace {

// The status poll and its report, on the controller thread.
void status(Session& s, Morvand& m, bool check, bool jsonOut) {
  Console& c = s.console();
  withActivity(s, m, Activity::Warmup, "status", [&] { m.MorvandStatus(check); });
  const Limits lim = m.limits();
  const Console::Reading r = c.firstReading;
  const bool connected = r.seen && !(r.temp == -1.0f && r.pressure == -1.0f && r.supply == -1.0f);
  const bool pressureOk = m.Pressure >= 0.0f && m.Pressure <= lim.PressMax;
  if (jsonOut) {
    json out{
        {"card", m.PCIcard},
        {"model", m.LaserTypeFlag},
        {"designation", findModel(m.LaserTypeFlag) ? findModel(m.LaserTypeFlag)->designation : ""},
        {"gas", gasName(m.GasFlag)},
        {"connected", connected},
        {"pressureOk", pressureOk},
        {"measurements", readingJson(r)},
        {"pressure_Torr", m.Pressure},
        {"temp_C", m.temp},
        {"hvoltage_kV", m.HVoltage},
        {"pressMax_Torr", lim.PressMax},
        {"fillPressLow_Torr", lim.FillPressLow},
        {"cumTotalPulses", m.CumTotalPulses},
        {"pulsesThisFill", m.PulsesThisFill},
        {"messages", json::array()}};
    if (check) {
      out["powerOK"] = m.PowerOK;
      out["interlockActive"] = m.InterlockActive;
    }
    for (const auto& n : c.notices()) out["messages"].push_back(n.text);
    std::cout << out.dump(2) << '\n';
  } else {
    c.line("pressure " + fixed(m.Pressure, 0) + " Torr (max " + fixed(lim.PressMax, 0) +
           "), temp " + fixed(m.temp, 1) + " C, HV " + fixed(m.HVoltage, 2) + " kV");
    if (check) {
      c.line(std::string("power OK: ") + (m.PowerOK ? "yes" : "no") +
             ", interlock active: " + (m.InterlockActive ? "yes" : "no"));
    }
    c.line("lifetime pulses " + std::to_string(m.CumTotalPulses) + ", since the last fill " +
           std::to_string(m.PulsesThisFill));
  }
  if (!connected) throw Failure("the laser is not connected or its 12 V supply is off");
  if (!pressureOk) throw Failure("gas pressure problem: " + fixed(m.Pressure, 0) + " Torr");
}

// A run as the command line set it, and its report, on the controller thread.
void run(Session& s, Morvand& m, const RunArgs& a, int32_t budget) {
  Console& c = s.console();
  const Limits lim = m.limits();
  // The card's pulse generator cannot run below RepRateMin; an external trigger can.
  const int32_t lowest = a.external ? 1 : lim.RepRateMin;
  if (lowest > lim.RepRateMax) {
    throw Failure("this laser (at most " + std::to_string(lim.RepRateMax) +
                  " Hz) cannot fire on the card's own trigger, which runs at " +
                  std::to_string(lim.RepRateMin) + " Hz or more; use --external");
  }
  if (a.rate < lowest || a.rate > lim.RepRateMax) {
    throw Failure("rate " + std::to_string(a.rate) + " Hz is outside " + std::to_string(lowest) +
                  " to " + std::to_string(lim.RepRateMax) + " Hz for this laser");
  }
  if (a.voltage) {
    if (*a.voltage < m.HiVoltMin || *a.voltage > m.HiVoltMax) {
      throw Failure("charging voltage " + fixed(*a.voltage, 2) + " kV is outside " +
                    fixed(m.HiVoltMin, 2) + " to " + fixed(m.HiVoltMax, 2) + " kV");
    }
    m.mode = 0;
    m.VoltSet = *a.voltage;
  }
  if (a.energy) {
    if (*a.energy <= 0.0f || *a.energy > m.MaxEnergyVal) {
      throw Failure("energy " + fixed(*a.energy, 2) + " is outside 0 to " +
                    fixed(m.MaxEnergyVal, 2));
    }
    m.mode = 1;
    m.SetEnergy = *a.energy;
  }
  m.RepRate = a.rate;
  m.MaxNum = budget;
  if (a.external) s.thread().backend().setExternalTrigger(a.rate);
  const int32_t before = m.CumTotalPulses;
  withActivity(s, m, Activity::Run, "run", [&] { m.LaserRun(a.external ? 1 : 0); });
  const bool completed = m.PulseNum >= m.MaxNum;
  if (a.json) {
    json out{{"completed", completed},
             {"pulses", m.PulseNum},
             {"counterTotal", m.CounterTotal},
             {"cumTotalPulses", m.CumTotalPulses},
             {"pulsesThisFill", m.PulsesThisFill},
             {"energy", m.Energy},
             {"sigma", m.Sigma},
             {"voltSet_kV", m.VoltSet},
             {"messages", json::array()}};
    for (const auto& n : c.notices()) out["messages"].push_back(n.text);
    std::cout << out.dump(2) << '\n';
  } else {
    printCounters(c, m);
    c.line("energy " + fixed(m.Energy, 3) + ", spread " + fixed(m.Sigma, 2) + " %");
  }
  if (m.CumTotalPulses == before && m.PulseNum == 0) fail(c, "the laser did not start");
  // A continuous run ends when the operator stops it: that is its normal end.
  if (c.interrupted() && budget == kContinuousPulses && m.flag2 == kRunStop && m.PulseNum > 0) return;
  if (c.interrupted())
    throw Failure("stopped by the operator after " + std::to_string(m.PulseNum) + " pulses");
  if (!completed) fail(c, "the run ended after " + std::to_string(m.PulseNum) + " pulses");
}

}  // namespace

void cmdStatus(const GlobalOptions& g, bool check, bool jsonOut) {
  Session s(g, jsonOut);
  s.startCard();
  s.call([&](Morvand& m) { status(s, m, check, jsonOut); });
}

void cmdWarmup(const GlobalOptions& g) {
  Session s(g, false);
  s.startCard();
  s.call([&](Morvand& m) {
    bool done = false;
    withActivity(s, m, Activity::Warmup, "warm-up", [&] { done = m.ThyWarmup(m.ThyTime); });
    if (!done)
      fail(s.console(), s.console().interrupted() ? "warm-up cancelled" : "warm-up failed");
    s.console().line("thyratron warm");
  });
}

void cmdRun(const GlobalOptions& g, const RunArgs& a) {
  int32_t budget = 0;
  if (upper(a.pulses) == "CONTINUOUS" || upper(a.pulses) == "C") {
    budget = kContinuousPulses;
  } else {
    double v = 0;
    if (!parseNumber(a.pulses, v) || v < 1 || v > 10000000 || v != static_cast<int32_t>(v)) {
      throw UsageError("--pulses must be 1..10000000 or continuous, not \"" + a.pulses + "\"");
    }
    budget = static_cast<int32_t>(v);
  }
  if (a.energy && a.voltage) throw UsageError("give --energy or --voltage, not both");
  Session s(g, a.json);
  s.startCard();
  s.call([&](Morvand& m) { run(s, m, a, budget); });
}

void cmdRefill(const GlobalOptions& g, bool partial) {
  Session s(g, false);
  s.startCard();
  s.call([&](Morvand& m) {
    const std::string what = partial ? "partial refill" : "refill";
    withActivity(s, m, Activity::Gas, what, [&] {
      if (partial) {
        m.GasPartialRefill();
      } else {
        m.GasAutoRefill();
      }
    });
    checkFilled(s.console(), m, what);
    s.console().line(what + " done");
  });
}

void cmdOptics(const GlobalOptions& g, const std::string& phase) {
  if (phase != "start" && phase != "finish") {
    throw UsageError("optics takes start or finish, not \"" + phase + "\"");
  }
  Session s(g, false);
  s.startCard();
  s.call([&](Morvand& m) {
    bool ok = false;
    withActivity(s, m, Activity::Gas, "optics " + phase,
                 [&] { ok = phase == "start" ? m.OpticsSevStart() : m.OpticsSevFinish(); });
    if (!ok) fail(s.console(), "optics service " + phase + " did not complete");
    s.console().line(phase == "start" ? "the chamber is ready: the optics may be removed"
                                      : "the chamber is refilled");
  });
}

void cmdHvTest(const GlobalOptions& g) {
  Session s(g, false);
  s.startCard();
  s.call([&](Morvand& m) {
    float kv = 0.0f;
    withActivity(s, m, Activity::Other, "HV test", [&] { kv = m.HVTest(); });
    const bool declined = s.console().declined();
    // The test leaves the voltage programmed and the enable line on: switch both off.
    m.VoltageOff();
    m.Enable(false);
    if (declined) throw Failure("high-voltage test declined");
    s.console().line("charging voltage: " + fixed(kv, 3) + " kV");
  });
}

void cmdValves(const GlobalOptions& g, const std::string& pattern) {
  const auto bits = parseValvePattern(pattern);
  Session s(g, false);
  s.startCard();
  s.call([&](Morvand& m) {
    bool ok = true;
    if (bits) {
      ok = m.OpenValves(*bits);
    } else {
      m.CloseAllValves();
    }
    if (!ok) fail(s.console(), "the valves could not be switched");
    s.console().line("valve pattern " + std::to_string(m.ValveState) + ": " +
                     (m.ValveString.empty() ? "all closed" : m.ValveString));
  });
}

void cmdDemo(GlobalOptions g) {
  const bool terminal = isatty(STDOUT_FILENO) != 0;
  if (g.speed.empty()) g.speed = terminal ? "100" : "max";
#ifdef _WIN32
  g.dir = makeTemporaryDirectory("morvand-demo-");
#else
  char pattern[] = "/tmp/morvand-demo-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) throw Failure("cannot make a temporary directory");
  g.dir = dir;
#endif
  const auto heading = [](const std::string& text) { std::cout << "\n== " << text << '\n'; };
  heading("settings for an LM-10 on KrF in " + g.dir);
  cmdInit(g, InitArgs{"LM-10", "KrF"});
  {
    Session s(g, false);
    Console& c = s.console();
    heading("card start-up on " + g.card);
    s.startCard();
    s.call([&](Morvand& m) {
      c.line("card PCI-" + std::to_string(m.PCIcard) + " open, laser in its safe state");
      heading("status, with the thyratron warm-up");
      withActivity(s, m, Activity::Warmup, "status", [&] { m.MorvandStatus(true); });
      heading("a short run: 200 pulses at 50 Hz");
      m.RepRate = 50;
      m.MaxNum = 200;
      withActivity(s, m, Activity::Run, "run", [&] { m.LaserRun(0); });
      printCounters(c, m);
      heading("automatic refill");
      withActivity(s, m, Activity::Gas, "refill", [&] { m.GasAutoRefill(); });
      checkFilled(c, m, "refill");
      c.line("refill done");
      heading("shutdown: the controller writes its settings back");
    });
  }
  std::ifstream counter(g.dir + "/Counter");
  std::string line;
  std::getline(counter, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::cout << "Counter file: " << line << "\n\ndemo finished\n";
  std::error_code ec;
  std::filesystem::remove_all(g.dir, ec);
}

}  // namespace morvand::cli
