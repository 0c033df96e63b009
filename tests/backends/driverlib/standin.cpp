#include "standin.hpp"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <stdexcept>

#include "morvand/driverlib/library_abi.hpp"
#include "standin_hooks.hpp"

namespace morvand::driverlib::test {
namespace {

template <typename Fn>
Fn standInExport(const char* name) {
  HMODULE module = GetModuleHandleA(kDefaultLibrary);
  if (module == nullptr) throw std::logic_error("the stand-in driver library is not loaded");
  FARPROC f = GetProcAddress(module, name);
  if (f == nullptr) throw std::logic_error(std::string("the stand-in has no ") + name);
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(f));
}

}  // namespace

std::string standInPath(bool partial) {
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string dir(exe);
  dir.erase(dir.find_last_of("\\/") + 1);
  return dir + (partial ? "partial\\" : "") + kDefaultLibrary;
}

bool standInLoaded() { return GetModuleHandleA(kDefaultLibrary) != nullptr; }

std::unique_ptr<Backend> openStandInBackend(const std::string& uri, uint64_t seed) {
  std::unique_ptr<Backend> backend = openBackend("driver:");
  standInExport<StandInInstallFn>("MorvandStandIn_Install")(uri.c_str(), seed);
  return backend;
}

sim::Simulation& standInSimulation() {
  return *standInExport<StandInSimulationFn>("MorvandStandIn_Simulation")();
}

}  // namespace morvand::driverlib::test
