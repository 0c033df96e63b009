// Operations of this area that are still being built. Each definition here is removed
// when its real one lands; the file goes when it is empty.
// clang-format off
#include "morvand/morvand.hpp"

namespace morvand {

float Morvand::EV_to_Slider() { throw Error("EV_to_Slider is not built yet"); }
void Morvand::GetLaserList(ListControl&) { throw Error("GetLaserList is not built yet"); }
void Morvand::GetGasList(ListControl&) { throw Error("GetGasList is not built yet"); }
void Morvand::SetChargeMode(int16_t) { throw Error("SetChargeMode is not built yet"); }
void Morvand::SetLaserAndGasType(ListControl&, ListControl&) { throw Error("SetLaserAndGasType is not built yet"); }
void Morvand::SetLaserStandby(int16_t) { throw Error("SetLaserStandby is not built yet"); }
void Morvand::SetTriggerMode(int16_t) { throw Error("SetTriggerMode is not built yet"); }
std::string Morvand::Slider_to_EV(float) { throw Error("Slider_to_EV is not built yet"); }
int16_t Morvand::LaserListIndex(ListControl&, int16_t) { throw Error("LaserListIndex is not built yet"); }

}  // namespace morvand
