// The card the console drives, opened by address through the back-end table ("sim:1711",
// and whatever else this build has: "morvand --card help").

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

std::unique_ptr<Backend> openCard(const std::string& uri, Speed speed, uint64_t seed,
                                  const std::vector<std::string>& faults) {
  checkCardPrefix(uri);
  BackendOptions options;
  // At full speed the virtual clock moves only when the controller waits or the console
  // yields; otherwise simulated time follows the wall clock times the factor.
  options.speed = speed.max ? 0.0 : speed.factor;
  options.seed = seed;
  std::unique_ptr<Backend> backend;
  try {
    backend = openBackend(uri, options);
  } catch (const BackendError& e) {
    // A simulated card's address is the caller's choice alone; a real card may be missing.
    if (uri.rfind("sim:", 0) == 0) throw UsageError(e.what());
    throw Failure(e.what());
  }
  for (const std::string& name : faults) {
    if (!backend->setFault(name, true)) {
      std::string known;
      for (const std::string& n : faultNames()) known += (known.empty() ? "" : ", ") + n;
      throw UsageError("unknown fault \"" + name + "\" (known: " + known +
                       (backend->simulated() ? ")" : "; faults exist on simulated cards only)"));
    }
  }
  return backend;
}

}  // namespace morvand::cli
