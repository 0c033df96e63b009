// Operations of this area that are still being built. Each definition here is removed
// when its real one lands; the file goes when it is empty.
// clang-format off
#include "morvand/morvand.hpp"

namespace morvand {

void Morvand::AllClose() { throw Error("AllClose is not built yet"); }
void Morvand::AllOff() { throw Error("AllOff is not built yet"); }
void Morvand::Counter0Read() { throw Error("Counter0Read is not built yet"); }
void Morvand::Counter0Start() { throw Error("Counter0Start is not built yet"); }
void Morvand::Counter1Read() { throw Error("Counter1Read is not built yet"); }
void Morvand::Counter1Start() { throw Error("Counter1Start is not built yet"); }
void Morvand::Counter2Read() { throw Error("Counter2Read is not built yet"); }
void Morvand::Counter2Start() { throw Error("Counter2Start is not built yet"); }
bool Morvand::CounterRead(int16_t) { throw Error("CounterRead is not built yet"); }
bool Morvand::CounterFreqRead(int16_t) { throw Error("CounterFreqRead is not built yet"); }
void Morvand::CounterStart(int16_t) { throw Error("CounterStart is not built yet"); }
void Morvand::CounterStop(int16_t) { throw Error("CounterStop is not built yet"); }
void Morvand::Enable(bool) { throw Error("Enable is not built yet"); }
float Morvand::EnergyMes() { throw Error("EnergyMes is not built yet"); }
bool Morvand::Fan(bool) { throw Error("Fan is not built yet"); }
bool Morvand::PowerOn() { throw Error("PowerOn is not built yet"); }
void Morvand::Reset() { throw Error("Reset is not built yet"); }
bool Morvand::SetPCIcard(int16_t) { throw Error("SetPCIcard is not built yet"); }
bool Morvand::StandardCard() { throw Error("StandardCard is not built yet"); }
void Morvand::StateTest1711() { throw Error("StateTest1711 is not built yet"); }
bool Morvand::status() { throw Error("status is not built yet"); }
bool Morvand::TempControl(float) { throw Error("TempControl is not built yet"); }
float Morvand::TempMes() { throw Error("TempMes is not built yet"); }
float Morvand::VoltageMes() { throw Error("VoltageMes is not built yet"); }
void Morvand::VoltageOff() { throw Error("VoltageOff is not built yet"); }
void Morvand::VoltageSet(float) { throw Error("VoltageSet is not built yet"); }
float Morvand::VoltTest12() { throw Error("VoltTest12 is not built yet"); }
float Morvand::VprogTest() { throw Error("VprogTest is not built yet"); }
void Morvand::EnableDC() { throw Error("EnableDC is not built yet"); }

}  // namespace morvand
