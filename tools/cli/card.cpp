// The card the console drives, opened by address through the back-end table ("sim:1711",
// and whatever else this build has: "morvand --card help").

#include <algorithm>
#include <sstream>

#include "morvand/errors.hpp"
#include "morvand/sim/fault.hpp"
#include "session.hpp"

namespace morvand::cli {

std::vector<std::string> faultNames() {
  std::vector<std::string> names;
  for (sim::Fault f : sim::allFaults()) names.emplace_back(sim::faultName(f));
  return names;
}

std::string backendHelp() {
  std::ostringstream out;
  out << "Card back ends (--card ADDRESS):\n";
  for (const BackendEntry& e : backends()) out << "  " << e.prefix << "  " << e.description << '\n';
  return out.str();
}

void checkCardPrefix(const std::string& uri) {
  for (const BackendEntry& e : backends()) {
    if (uri.compare(0, e.prefix.size(), e.prefix) == 0) return;
  }
  throw UsageError("unknown card \"" + uri + "\" (morvand --card help lists the back ends)");
}

void checkFaults(const std::string& uri, const std::vector<std::string>& faults) {
  const bool simulated = uri.rfind("sim:", 0) == 0;
  const std::vector<std::string> known = faultNames();
  for (const std::string& name : faults) {
    if (!simulated || std::find(known.begin(), known.end(), name) == known.end()) {
      std::string list;
      for (const std::string& n : known) list += (list.empty() ? "" : ", ") + n;
      throw UsageError("unknown fault \"" + name + "\" (known: " + list +
                       (simulated ? ")" : "; faults exist on simulated cards only)"));
    }
  }
}

std::unique_ptr<ControllerThread> openController(const std::string& uri, Speed speed, uint64_t seed,
                                                 const std::vector<std::string>& faults,
                                                 const std::string& directory,
                                                 std::function<void()> onYield) {
  checkCardPrefix(uri);
  checkFaults(uri, faults);
  ControllerOptions options;
  options.card = uri;
  options.directory = directory;
  // At full speed the virtual clock moves only when the controller waits or yields;
  // otherwise simulated time follows the wall clock times the factor.
  options.backend.speed = speed.max ? 0.0 : speed.factor;
  options.backend.seed = seed;
  // Scripts at full speed read the simulated laser as they always did.
  options.waitInSteps = true;
  options.onYield = std::move(onYield);
  std::unique_ptr<ControllerThread> thread;
  try {
    thread = std::make_unique<ControllerThread>(std::move(options));
  } catch (const BackendError& e) {
    // A simulated card's address is the caller's choice alone; a real card may be missing.
    if (uri.rfind("sim:", 0) == 0) throw UsageError(e.what());
    throw Failure(e.what());
  }
  if (!faults.empty()) {
    thread->call([&](Morvand&) {
      for (const std::string& name : faults) thread->backend().setFault(name, true);
    });
  }
  return thread;
}

}  // namespace morvand::cli
