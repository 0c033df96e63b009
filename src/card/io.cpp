// The card layer's primitives: one port write, one analog reading, one analog output.
// Operations say what to write or read; these know the driver sequence and the reports.

#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

bool Morvand::driverOkOrTagged(int32_t status, const char* tag) {
  return tag != nullptr ? driverOkTagged(status, tag) : driverOk(status);
}

bool Morvand::writePort(int16_t port, int16_t mask, int16_t value, Tags tags, bool requireCard) {
  if (requireCard && !cardSelected()) return false;
  CardContext& card = CardContext::current();
  card.portMode.port = port;
  card.portMode.direction = 1;
  if (card.features.numProgrammablePorts > 0) {
    const int32_t status = card.driver().DioSetPortMode(card.DeviceHandle, card.portMode);
    if (!driverOkOrTagged(status, tags.first)) return false;
  }
  card.portWrite.port = port;
  card.portWrite.mask = mask;
  card.portWrite.value = value;
  const int32_t status = card.driver().DioWritePortByte(card.DeviceHandle, card.portWrite);
  if (!driverOkOrTagged(status, tags.second)) return false;
  if (port >= 0 && static_cast<size_t>(port) < card.outputLines.size()) {
    int16_t& lines = card.outputLines[static_cast<size_t>(port)];
    lines = static_cast<int16_t>((lines & ~mask) | (value & mask));
  }
  return true;
}

bool Morvand::readAnalog(int16_t channel, float& volts, Tags tags, bool requireCard) {
  if (requireCard && !cardSelected()) return false;
  CardContext& card = CardContext::current();
  // Before the card form exists (no card start-up yet) the first gain entry is used.
  int16_t position = 0;
  if (CardForm* form = card.formIfCreated()) position = form->lstVoltageRangeAi.ListIndex();
  if (position < 0 || position > 15) {
    throw IndexError("no analog input range selected (position " + std::to_string(position) + ")");
  }
  card.aiConfig.channel = channel;
  card.aiConfig.gainCode = card.features.gains[position].gainCode;
  int32_t status = card.driver().AIConfig(card.DeviceHandle, card.aiConfig);
  if (!driverOkOrTagged(status, tags.first)) return false;
  float reading = 0.0f;
  card.aiVoltageIn.channel = channel;
  card.aiVoltageIn.gainCode = card.aiConfig.gainCode;
  card.aiVoltageIn.trigMode = 0;
  card.aiVoltageIn.voltage = &reading;
  status = card.driver().AIVoltageIn(card.DeviceHandle, card.aiVoltageIn);
  card.aiVoltageIn.voltage = nullptr;
  if (!driverOkOrTagged(status, tags.second)) return false;
  volts = reading;
  return true;
}

bool Morvand::configureAnalogOut(int16_t channel, const char* tag) {
  if (!cardSelected()) return false;
  CardContext& card = CardContext::current();
  card.aoConfig = {channel, 5.0f, 0.0f};
  return driverOkOrTagged(card.driver().AOConfig(card.DeviceHandle, card.aoConfig), tag);
}

bool Morvand::writeAnalogOut(int16_t channel, float volts, const char* tag) {
  if (!cardSelected()) return false;
  CardContext& card = CardContext::current();
  return driverOkOrTagged(
      card.driver().AOVoltageOut(card.DeviceHandle, AOVoltageOutRequest{channel, volts}), tag);
}

bool Morvand::writeAnalog(int16_t channel, float volts, Tags tags) {
  return configureAnalogOut(channel, tags.first) && writeAnalogOut(channel, volts, tags.second);
}

}  // namespace morvand
