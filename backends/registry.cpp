// The one table of card back ends. Each back end that is built adds its line here; a
// process may add more at run time (plug-ins, test doubles) with registerBackend.

#include <mutex>
#include <string>
#include <vector>

#include "morvand/backends.hpp"
#include "morvand/errors.hpp"

#ifdef MORVAND_HAVE_SIM
#include "morvand/sim/backend.hpp"
#endif
#ifdef MORVAND_HAVE_COMEDI
#include "morvand/comedi/comedi_card.hpp"
#endif
#ifdef MORVAND_HAVE_DRIVERLIB
#include "morvand/driverlib/backend.hpp"
#endif

namespace morvand {
namespace {

std::vector<BackendEntry> builtIn() {
  return {
#ifdef MORVAND_HAVE_SIM
      {"sim:", &sim::openBackend,
       "the simulated laser: sim:1711, sim:1710, sim:1712 or sim:demo (a DEMO device)"},
#endif
#ifdef MORVAND_HAVE_COMEDI
      {"comedi:", &comedi::openBackend,
       "a PCI-1710 or PCI-1711 on Linux: comedi:/dev/comedi0, or comedi: for the first one found"},
#endif
#ifdef MORVAND_HAVE_DRIVERLIB
      {"driver:", &driverlib::openBackend,
       "the card through its driver library: driver: (adsapi32.dll) or "
       "driver:C:\\path\\to\\library.dll"},
#endif
  };
}

struct Registry {
  std::mutex mutex;
  std::vector<BackendEntry> entries = builtIn();
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

std::vector<BackendEntry> backends() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.entries;
}

void registerBackend(BackendEntry entry) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  for (BackendEntry& e : r.entries) {
    if (e.prefix == entry.prefix) {
      e = std::move(entry);
      return;
    }
  }
  r.entries.push_back(std::move(entry));
}

std::unique_ptr<Backend> openBackend(const std::string& uri, const BackendOptions& options) {
  std::string known;
  for (const BackendEntry& e : backends()) {
    if (uri.compare(0, e.prefix.size(), e.prefix) == 0) {
      return e.open(uri.substr(e.prefix.size()), options);
    }
    known += (known.empty() ? "" : ", ") + e.prefix;
  }
  throw BackendError("unknown card \"" + uri + "\": no back end for it (built in: " + known +
                     "; see --card help)");
}

}  // namespace morvand
