#pragma once
// Helpers shared by the back end's files; not installed.

#include <string>

namespace morvand::comedi {

/// A range's name as the gain list shows it: "+/-10 V", "0-10 V".
std::string rangeName(double min, double max);

}  // namespace morvand::comedi
