// The digital inputs: power-OK and interlock bits, and the 12 V supply test.

#include "card/card_model.hpp"
#include "card/wiring.hpp"
#include "controller/state.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

namespace {

/// V: the 12 V supply is there at this reading and above.
constexpr float kSupplyPresent = wiring::kSupplyPresent;
/// What a supply test returns after a driver failure.
constexpr float kFailedReading = -1.0f;

}  // namespace

bool Morvand::status() {
  if (!state_->cardSelected()) return false;
  CardContext& card = CardContext::current();
  // On a PCI-1710 the port of the previous digital operation is read again.
  if (const auto& model = card::cardModel(PCIcard); model.inputPort >= 0)
    card.portMode.port = model.inputPort;
  const int16_t port = card.portMode.port;
  card.portMode.direction = 0;
  if (card.features.numProgrammablePorts > 0 &&
      !state_->driverOk(card.driver().DioSetPortMode(card.DeviceHandle, card.portMode))) {
    return false;
  }
  state = 0;
  int16_t byte = 0;
  card.portRead = {port, &byte};
  const int32_t readStatus = card.driver().DioReadPortByte(card.DeviceHandle, card.portRead);
  card.portRead.value = nullptr;
  if (!state_->driverOk(readStatus)) return false;
  // On the PCI-1712 the inputs share the valve port: reading turned it into an input, so
  // it is made an output again with the valve pattern in force (a gas procedure polled by
  // the host keeps its valves open).
  if (card::cardModel(PCIcard).inputsOnValvePort) OpenValves(ValveState);
  state = byte;
  return true;
}

void Morvand::StateTest1711() {
  const auto& bits = card::cardModel(PCIcard);
  if (bits.inputPort < 0) return;
  // A missing power or interlock signal asks a running laser to stop.
  PowerOK = (state & bits.powerOkBit) != 0;
  if (!PowerOK) flag2 = kRunStop;
  InterlockActive = (state & bits.interlockBit) != 0;
  if (!InterlockActive) flag2 = kRunStop;
}

bool Morvand::PowerOn() {
  // A reading that failed (reported, -1 V) does not pass on the last good one as present.
  if (VoltTest12() == kFailedReading) return false;
  return state_->hv_.VoltTest >= kSupplyPresent;
}

}  // namespace morvand
