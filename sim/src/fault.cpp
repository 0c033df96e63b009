#include "morvand/sim/fault.hpp"

#include <array>
#include <utility>

namespace morvand::sim {

namespace {
constexpr std::array<std::pair<Fault, std::string_view>, kFaultCount> kFaults{{
    {Fault::HeadUnplugged, "head-unplugged"},
    {Fault::PowerLost, "power-lost"},
    {Fault::InterlockOpen, "interlock-open"},
    {Fault::GaugeFault, "gauge-fault"},
    {Fault::PumpFailure, "pump-failure"},
    {Fault::PremixEmpty, "premix-empty"},
    {Fault::HeliumEmpty, "helium-empty"},
    {Fault::ValveStuck, "valve-stuck"},
    {Fault::Overheating, "overheating"},
    {Fault::EnergyMonitorDead, "energy-monitor-dead"},
}};
}  // namespace

std::string_view faultName(Fault fault) {
  for (const auto& [f, name] : kFaults) {
    if (f == fault) return name;
  }
  return "unknown";
}

std::optional<Fault> faultByName(std::string_view name) {
  for (const auto& [f, n] : kFaults) {
    if (n == name) return f;
  }
  return std::nullopt;
}

std::vector<Fault> allFaults() {
  std::vector<Fault> out;
  for (const auto& entry : kFaults) out.push_back(entry.first);
  return out;
}

}  // namespace morvand::sim
