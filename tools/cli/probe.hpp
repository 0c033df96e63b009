#pragma once
// "morvand --card comedi:... probe": a real card described and its inputs read once.

#include "session.hpp"

namespace morvand::cli {

/// Describes the card at g.card and reads every input; writes the safe output values only
/// with outputs. UsageError for a card that is not a real one, Failure when the probe fails.
void cmdProbe(const GlobalOptions& g, bool outputs);

}  // namespace morvand::cli
