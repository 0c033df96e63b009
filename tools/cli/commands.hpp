#pragma once
// The console's subcommands. Each returns normally on success and throws Failure (exit 1)
// or UsageError (exit 2) with the reason.

#include <cstdint>
#include <optional>
#include <string>

#include "session.hpp"

namespace morvand::cli {

struct InitArgs {
  std::string model;
  std::string gas;
};
void cmdInit(const GlobalOptions& g, const InitArgs& a);
void cmdModels(bool json);
void cmdStatus(const GlobalOptions& g, bool check, bool json);
void cmdWarmup(const GlobalOptions& g);

struct RunArgs {
  int32_t rate = 0;
  std::string pulses;  ///< a count or "continuous"
  std::optional<float> energy;
  std::optional<float> voltage;
  bool external = false;
  bool json = false;
};
void cmdRun(const GlobalOptions& g, const RunArgs& a);
void cmdRefill(const GlobalOptions& g, bool partial);
void cmdOptics(const GlobalOptions& g, const std::string& phase);
void cmdHvTest(const GlobalOptions& g);
void cmdValves(const GlobalOptions& g, const std::string& pattern);
void cmdShell(const GlobalOptions& g);
void cmdScript(const GlobalOptions& g, const std::string& file);
void cmdDemo(GlobalOptions g);

/// Reads a valve pattern: "close", or a number 0..255 in decimal, 0x hex or 0b binary.
/// nullopt for "close"; UsageError for anything else.
std::optional<int16_t> parseValvePattern(const std::string& text);

}  // namespace morvand::cli
