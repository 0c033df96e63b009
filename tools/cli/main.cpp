// The morvand command: the operator's console for a laser on the simulated (or a real) card.
// Exit codes: 0 success, 1 the operation failed or was refused, 2 the command line was wrong.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "commands.hpp"
#include "morvand/errors.hpp"
#include "probe.hpp"
#include "shell.hpp"

namespace morvand::cli {

void cmdShell(const GlobalOptions& g) {
  Session s(g, false);
  runShell(s);
}

void cmdScript(const GlobalOptions& g, const std::string& file) {
  // The script is named relative to where the command was given, before --dir applies.
  std::error_code ec;
  const std::string path = std::filesystem::absolute(file, ec).string();
  if (!std::filesystem::is_regular_file(path, ec)) throw Failure("cannot read the script " + file);
  Session s(g, false);
  runScript(s, path);
}

namespace {

int run(int argc, char** argv) {
  CLI::App app{
      "morvand: operator console for a pulsed gas laser on a PCI-1710/1711/1712 card.\n"
      "The simulated laser is the default card; settings files live in --dir."};
  app.require_subcommand(1);
  app.fallthrough();
  GlobalOptions g;
  app.add_option("--card", g.card,
                 "card back end by address: sim:1711, sim:1710, sim:1712, sim:demo, or "
                 "\"help\" for every back end this build has")
      ->capture_default_str();
  app.add_option("--dir", g.dir, "directory of the settings files")->capture_default_str();
  app.add_option("--speed", g.speed,
                 "simulated time: N times real time, or max (default: real time on a "
                 "terminal, max otherwise)");
  std::string faultHelp = "inject a simulator fault:";
  for (const std::string& n : faultNames()) faultHelp += " " + n;
  app.add_option("--fault", g.faults, faultHelp);
  app.add_option("--log", g.logPath, "record every Measurements and LaserRunning event (CSV)");
  auto* yes = app.add_flag("--yes", g.yes, "answer every question Yes (hazard questions too)");
  app.add_flag("--no", g.no, "answer every question No")->excludes(yes);
  app.add_option("--seed", g.seed, "noise seed of the simulator")->capture_default_str();

  InitArgs init;
  auto* cInit = app.add_subcommand("init", "write the four settings files for a model and gas");
  cInit->add_option("--model", init.model, "laser model, e.g. LM-10")->required();
  cInit->add_option("--gas", init.gas, "gas the model runs on, e.g. KrF")->required();

  bool json = false;
  auto* cModels = app.add_subcommand("models", "the model table: gases and limits");
  cModels->add_flag("--json", json, "as JSON");

  bool check = false;
  auto* cStatus = app.add_subcommand(
      "status", "one status poll: measurements, supply, pressure; warms up when due");
  cStatus->add_flag("--check", check, "add the fan, filament and input checks");
  cStatus->add_flag("--json", json, "as JSON on standard output");

  auto* cWarmup = app.add_subcommand("warmup", "thyratron warm-up (Ctrl-C cancels)");

  RunArgs runArgs;
  auto* cRun = app.add_subcommand(
      "run", "fire the laser: Ctrl-C stops (the stop sequence completes), twice halts");
  cRun->add_option("--rate", runArgs.rate, "repetition rate, Hz")->required();
  cRun->add_option("--pulses", runArgs.pulses, "pulse budget 1..10000000, or continuous")
      ->required();
  auto* energy = cRun->add_option_function<float>(
      "--energy", [&](const float& e) { runArgs.energy = e; },
      "hold this pulse energy (constant-energy mode)");
  cRun->add_option_function<float>(
          "--voltage", [&](const float& v) { runArgs.voltage = v; },
          "charging voltage, kV (constant-voltage mode)")
      ->excludes(energy);
  cRun->add_flag("--external", runArgs.external, "external trigger at --rate");
  cRun->add_flag("--json", runArgs.json, "summary as JSON on standard output");

  bool partial = false;
  auto* cRefill = app.add_subcommand("refill", "automatic gas refill (pump-out and fill)");
  cRefill->add_flag("--partial", partial, "partial refill instead");

  std::string phase;
  auto* cOptics = app.add_subcommand("optics", "optics service: start (purge), finish (refill)");
  cOptics->add_option("phase", phase, "start or finish")
      ->required()
      ->check(CLI::IsMember({"start", "finish"}));

  auto* cHv = app.add_subcommand("hvtest", "high-voltage test (asks before applying HV)");

  std::string pattern;
  auto* cValves = app.add_subcommand("valves", "write a valve pattern, or close every valve");
  cValves->add_option("pattern", pattern, "0..255 (decimal, 0x hex, 0b binary) or close")
      ->required();

  auto* cShell =
      app.add_subcommand("shell", "interactive shell: read/write any property, call any method");
  std::string script;
  auto* cScript = app.add_subcommand("script", "run shell commands from a file");
  cScript->add_option("file", script, "the commands, one per line")->required();

  auto* cDemo = app.add_subcommand(
      "demo", "a short guided session on the simulated laser in a temporary directory");

  bool outputs = false;
  auto* cProbe = app.add_subcommand(
      "probe", "a real card: its subdevices, ranges and counter clock, every input read once");
  cProbe->add_flag("--outputs", outputs, "also write the safe output values (DO 0, AO 0 V)");

  // "--card help" lists the back ends and needs no subcommand.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--card=help" ||
        (arg == "--card" && i + 1 < argc && std::string(argv[i + 1]) == "help")) {
      std::cout << backendHelp();
      return 0;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  try {
    checkCardPrefix(g.card);
    if (cInit->parsed()) cmdInit(g, init);
    if (cModels->parsed()) cmdModels(json);
    if (cStatus->parsed()) cmdStatus(g, check, json);
    if (cWarmup->parsed()) cmdWarmup(g);
    if (cRun->parsed()) cmdRun(g, runArgs);
    if (cRefill->parsed()) cmdRefill(g, partial);
    if (cOptics->parsed()) cmdOptics(g, phase);
    if (cHv->parsed()) cmdHvTest(g);
    if (cValves->parsed()) cmdValves(g, pattern);
    if (cShell->parsed()) cmdShell(g);
    if (cScript->parsed()) cmdScript(g, script);
    if (cDemo->parsed()) cmdDemo(g);
    if (cProbe->parsed()) cmdProbe(g, outputs);
  } catch (const UsageError& e) {
    std::cerr << "morvand: " << e.what() << '\n';
    return 2;
  } catch (const Failure& e) {
    std::cerr << "morvand: " << e.what() << '\n';
    return 1;
  } catch (const Error& e) {
    // An argument or arithmetic fault the controller raised in the middle of an operation.
    std::cerr << "morvand: the controller stopped with an error: " << e.what() << '\n';
    if (g.card == "sim:demo") {
      std::cerr << "morvand: the DEMO board is selected without being opened, so it has no "
                   "analog input ranges; use sim:1710, sim:1711 or sim:1712 to measure\n";
    }
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace morvand::cli

int main(int argc, char** argv) { return morvand::cli::run(argc, argv); }
