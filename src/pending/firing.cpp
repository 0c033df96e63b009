// Operations of this area that are still being built. Each definition here is removed
// when its real one lands; the file goes when it is empty.
// clang-format off
#include "morvand/morvand.hpp"

namespace morvand {

void Morvand::MorvandStatus(bool) { throw Error("MorvandStatus is not built yet"); }
void Morvand::FilamentCheck() { throw Error("FilamentCheck is not built yet"); }
void Morvand::FilamentVolts() { throw Error("FilamentVolts is not built yet"); }
void Morvand::LaserPause(bool) { throw Error("LaserPause is not built yet"); }
void Morvand::LaserRestart(bool) { throw Error("LaserRestart is not built yet"); }
void Morvand::LaserRun(int16_t) { throw Error("LaserRun is not built yet"); }
void Morvand::LaserStop() { throw Error("LaserStop is not built yet"); }
void Morvand::MaxContinue() { throw Error("MaxContinue is not built yet"); }
std::string Morvand::MaxNumSet() { throw Error("MaxNumSet is not built yet"); }
float Morvand::ThyratronMes() { throw Error("ThyratronMes is not built yet"); }
void Morvand::ThySkip() { throw Error("ThySkip is not built yet"); }
bool Morvand::ThyStandbySet(int16_t) { throw Error("ThyStandbySet is not built yet"); }
bool Morvand::ThyWarmup(float) { throw Error("ThyWarmup is not built yet"); }

}  // namespace morvand
