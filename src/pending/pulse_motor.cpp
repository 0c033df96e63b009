// Operations of this area that are still being built. Each definition here is removed
// when its real one lands; the file goes when it is empty.
// clang-format off
#include "morvand/morvand.hpp"

namespace morvand {

bool Morvand::DCmotorOn(int16_t) { throw Error("DCmotorOn is not built yet"); }
bool Morvand::ExtRepRateMes() { throw Error("ExtRepRateMes is not built yet"); }
float Morvand::ExtRepRateMes1() { throw Error("ExtRepRateMes1 is not built yet"); }
bool Morvand::ExtStart() { throw Error("ExtStart is not built yet"); }
void Morvand::Halt() { throw Error("Halt is not built yet"); }
float Morvand::HVTest() { throw Error("HVTest is not built yet"); }
void Morvand::Immediate(int16_t) { throw Error("Immediate is not built yet"); }
bool Morvand::InTrigDCTest() { throw Error("InTrigDCTest is not built yet"); }
int32_t Morvand::InTrigMes() { throw Error("InTrigMes is not built yet"); }
bool Morvand::InTrigTest() { throw Error("InTrigTest is not built yet"); }
void Morvand::InTrigOff() { throw Error("InTrigOff is not built yet"); }
bool Morvand::Motor(int16_t) { throw Error("Motor is not built yet"); }
void Morvand::MotorOff() { throw Error("MotorOff is not built yet"); }
bool Morvand::MotorOn() { throw Error("MotorOn is not built yet"); }
void Morvand::MotorSlow() { throw Error("MotorSlow is not built yet"); }
void Morvand::MotorMedium() { throw Error("MotorMedium is not built yet"); }
void Morvand::MotorFast() { throw Error("MotorFast is not built yet"); }
bool Morvand::MotorStart() { throw Error("MotorStart is not built yet"); }
void Morvand::MotorSet(int32_t) { throw Error("MotorSet is not built yet"); }
double Morvand::MotorRpmMes() { throw Error("MotorRpmMes is not built yet"); }
float Morvand::MotorR2V(int32_t) { throw Error("MotorR2V is not built yet"); }
void Morvand::MotorVOn(int16_t) { throw Error("MotorVOn is not built yet"); }
float Morvand::MotorVMes() { throw Error("MotorVMes is not built yet"); }
bool Morvand::MotorVSet(float&) { throw Error("MotorVSet is not built yet"); }
void Morvand::MotorVStart(int32_t) { throw Error("MotorVStart is not built yet"); }
void Morvand::Pulse(int32_t) { throw Error("Pulse is not built yet"); }
void Morvand::PulseOFF() { throw Error("PulseOFF is not built yet"); }
void Morvand::PulseReset() { throw Error("PulseReset is not built yet"); }
bool Morvand::ReprateSet() { throw Error("ReprateSet is not built yet"); }

}  // namespace morvand
