// Operations of this area that are still being built. Each definition here is removed
// when its real one lands; the file goes when it is empty.
// clang-format off
#include "morvand/morvand.hpp"

namespace morvand {

void Morvand::FillLaser() { throw Error("FillLaser is not built yet"); }
void Morvand::GasAutoRefill() { throw Error("GasAutoRefill is not built yet"); }
bool Morvand::GasFill() { throw Error("GasFill is not built yet"); }
void Morvand::GasPartialRefill() { throw Error("GasPartialRefill is not built yet"); }
void Morvand::GasFilterPress() { throw Error("GasFilterPress is not built yet"); }
bool Morvand::GasPumpout() { throw Error("GasPumpout is not built yet"); }
bool Morvand::OpticsSevStart() { throw Error("OpticsSevStart is not built yet"); }
bool Morvand::OpticsSevFinish() { throw Error("OpticsSevFinish is not built yet"); }

}  // namespace morvand
