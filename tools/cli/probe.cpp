// The probe of a real card, for bringing it up with the laser disconnected.

#include "probe.hpp"

#include <iostream>
#include <string>

#include "console.hpp"
#ifdef MORVAND_HAVE_COMEDI
#include "morvand/comedi/comedi_card.hpp"
#endif

namespace morvand::cli {

void cmdProbe(const GlobalOptions& g, bool outputs) {
  const std::string prefix = "comedi:";
  if (g.card.rfind(prefix, 0) != 0) {
    throw UsageError("probe looks at a real card: --card comedi:/dev/comediN (or comedi:)");
  }
#ifdef MORVAND_HAVE_COMEDI
  if (comedi::probe(g.card.substr(prefix.size()), outputs, std::cout) != 0) {
    throw Failure("the probe of " + g.card + " failed (see above)");
  }
#else
  (void)outputs;
  throw Failure("this build has no comedi back end (comedilib was not found when it was built)");
#endif
}

}  // namespace morvand::cli
