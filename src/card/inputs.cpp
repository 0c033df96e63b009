// The digital inputs: power-OK and interlock bits, and the 12 V supply test.

#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

namespace {

/// Where a card model puts its power-OK and interlock inputs.
struct InputBits {
  int16_t card;       ///< PCIcard
  int16_t port;       ///< input port
  int16_t powerOk;    ///< bit mask of power OK
  int16_t interlock;  ///< bit mask of interlock closed
};
constexpr InputBits kInputs1711{1711, 0, 0x01, 0x04};
constexpr InputBits kInputs1712{1712, 1, 0x80, 0x40};

const InputBits* inputBitsOf(int16_t card) {
  if (card == kInputs1711.card) return &kInputs1711;
  if (card == kInputs1712.card) return &kInputs1712;
  return nullptr;
}

/// V: the 12 V supply is there at this reading and above.
constexpr float kSupplyPresent = 10.0f;
/// What a supply test returns after a driver failure.
constexpr float kFailedReading = -1.0f;

}  // namespace

bool Morvand::status() {
  if (!cardSelected()) return false;
  CardContext& card = CardContext::current();
  // On a PCI-1710 the port of the previous digital operation is read again.
  if (const InputBits* bits = inputBitsOf(PCIcard)) card.portMode.port = bits->port;
  const int16_t port = card.portMode.port;
  card.portMode.direction = 0;
  if (card.features.numProgrammablePorts > 0 &&
      !driverOk(card.driver().DioSetPortMode(card.DeviceHandle, card.portMode))) {
    return false;
  }
  state = 0;
  int16_t byte = 0;
  card.portRead = {port, &byte};
  const int32_t readStatus = card.driver().DioReadPortByte(card.DeviceHandle, card.portRead);
  card.portRead.value = nullptr;
  if (!driverOk(readStatus)) return false;
  // On the PCI-1712 the inputs share the valve port: reading turned it into an input, so
  // it is made an output again with the valve pattern in force (a gas procedure polled by
  // the host keeps its valves open).
  if (PCIcard == kInputs1712.card) OpenValves(ValveState);
  state = byte;
  return true;
}

void Morvand::StateTest1711() {
  const InputBits* bits = inputBitsOf(PCIcard);
  if (bits == nullptr) return;
  // A missing power or interlock signal asks a running laser to stop.
  PowerOK = (state & bits->powerOk) != 0;
  if (!PowerOK) flag2 = 1;
  InterlockActive = (state & bits->interlock) != 0;
  if (!InterlockActive) flag2 = 1;
}

bool Morvand::PowerOn() {
  // A reading that failed (reported, -1 V) does not pass on the last good one as present.
  if (VoltTest12() == kFailedReading) return false;
  return hv_.VoltTest >= kSupplyPresent;
}

}  // namespace morvand
