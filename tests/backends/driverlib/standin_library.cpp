// A stand-in for the card's driver library: a DLL with the library's name and its exported
// operations, over the simulated card. Each export unpacks the driver's record the way the
// real library reads it and hands the request to the simulated card, so the back end is
// tested through LoadLibrary, the name look-ups and the record layouts.
//
// Built twice: complete, and (MORVAND_STANDIN_WITHOUT_FREQ_START) without one operation.

#include <cstdint>
#include <memory>

#include "morvand/driverlib/library_abi.hpp"
#include "morvand/sim/simulation.hpp"
#include "standin_hooks.hpp"

using namespace morvand;
using namespace morvand::driverlib;

namespace {

std::unique_ptr<sim::Simulation>& installation() {
  static std::unique_ptr<sim::Simulation> s;
  return s;
}

sim::SimulatedCard& card() {
  auto& s = installation();
  if (!s) s = sim::makeSimulation(kStandInDefaultCard, 1);
  return *s->card;
}

}  // namespace

#define STANDIN_EXPORT extern "C" __declspec(dllexport) int32_t MORVAND_DRV_CALL

STANDIN_EXPORT DRV_DeviceGetList(DeviceListEntry* list, int16_t maxEntries, int16_t* entriesOut) {
  return card().DeviceGetList(list, maxEntries, entriesOut);
}
STANDIN_EXPORT DRV_DeviceGetNumOfList(int16_t* count) { return card().DeviceGetNumOfList(count); }
STANDIN_EXPORT DRV_DeviceOpen(int32_t deviceNum, int32_t* handle) {
  return card().DeviceOpen(deviceNum, handle);
}
STANDIN_EXPORT DRV_DeviceClose(int32_t* handle) { return card().DeviceClose(handle); }
STANDIN_EXPORT DRV_DeviceGetFeatures(int32_t handle, BufferRequest* request) {
  return card().DeviceGetFeatures(handle, static_cast<DeviceFeatures*>(request->buffer));
}
STANDIN_EXPORT DRV_AIGetConfig(int32_t handle, BufferRequest* request) {
  return card().AIGetConfig(handle, static_cast<AIConfigRecord*>(request->buffer));
}
STANDIN_EXPORT DRV_GetErrorMessage(int32_t status, char* text) {
  return card().GetErrorMessage(status, text);
}
STANDIN_EXPORT DRV_GetAddress(void* buffer) {
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(buffer));
}
STANDIN_EXPORT DRV_DioSetPortMode(int32_t handle, PortModeRecord* r) {
  return card().DioSetPortMode(handle, PortModeRequest{r->port, r->direction});
}
STANDIN_EXPORT DRV_DioWritePortByte(int32_t handle, PortWriteRecord* r) {
  return card().DioWritePortByte(handle, PortWriteRequest{r->port, r->mask, r->value});
}
STANDIN_EXPORT DRV_DioReadPortByte(int32_t handle, PortReadRecord* r) {
  return card().DioReadPortByte(handle, PortReadRequest{r->port, r->value});
}
STANDIN_EXPORT DRV_AIConfig(int32_t handle, AIConfigRecordRequest* r) {
  return card().AIConfig(handle, AIConfigRequest{r->channel, r->gainCode});
}
STANDIN_EXPORT DRV_AIVoltageIn(int32_t handle, AIVoltageInRecord* r) {
  return card().AIVoltageIn(handle,
                            AIVoltageInRequest{r->channel, r->gainCode, r->trigMode, r->voltage});
}
STANDIN_EXPORT DRV_AOConfig(int32_t handle, AOConfigRecordRequest* r) {
  return card().AOConfig(handle, AOConfigRequest{r->channel, r->maxVolts, r->minVolts});
}
STANDIN_EXPORT DRV_AOVoltageOut(int32_t handle, AOVoltageOutRecord* r) {
  return card().AOVoltageOut(handle, AOVoltageOutRequest{r->channel, r->volts});
}
STANDIN_EXPORT DRV_CounterEventStart(int32_t handle, CounterEventStartRecord* r) {
  return card().CounterEventStart(handle, CounterEventStartRequest{r->counter, r->gateMode});
}
STANDIN_EXPORT DRV_CounterEventRead(int32_t handle, CounterEventReadRecord* r) {
  return card().CounterEventRead(handle,
                                 CounterEventReadRequest{r->counter, r->overflow, r->count});
}
STANDIN_EXPORT DRV_CounterReset(int32_t handle, int32_t counter) {
  return card().CounterReset(handle, static_cast<int16_t>(counter));
}
STANDIN_EXPORT DRV_CounterPulseStart(int32_t handle, CounterPulseStartRecord* r) {
  return card().CounterPulseStart(
      handle, CounterPulseStartRequest{r->counter, r->period, r->highTime, r->gateMode});
}
#ifndef MORVAND_STANDIN_WITHOUT_FREQ_START
STANDIN_EXPORT DRV_CounterFreqStart(int32_t handle, CounterFreqStartRecord* r) {
  return card().CounterFreqStart(handle,
                                 CounterFreqStartRequest{r->counter, r->gatePeriod, r->gateMode});
}
#endif

// ---- the tests' hold on the installation behind the stand-in ----

extern "C" __declspec(dllexport) sim::Simulation* MorvandStandIn_Install(const char* uri,
                                                                         uint64_t seed) {
  installation() = sim::makeSimulation(uri, seed);
  return installation().get();
}

extern "C" __declspec(dllexport) sim::Simulation* MorvandStandIn_Simulation() {
  card();
  return installation().get();
}
