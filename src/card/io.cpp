// The card layer's primitives: one port write, one analog reading, one analog output, and
// the switch-off sequence with the one repeated driver command.
// Operations say what to write or read; these know the driver sequence and the reports.

#include <exception>

#include "controller/state.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

bool Morvand::State::driverOkOrTagged(int32_t status, const char* tag) {
  return tag != nullptr ? driverOkTagged(status, tag) : driverOk(status);
}

bool Morvand::State::commandOk(const std::function<int32_t()>& send, const char* tag) {
  int32_t status = send();
  // A single failing write must not leave the laser on: a switch-off step tries it once
  // more, and only a second failure is reported. This is the only repeated driver call.
  if (status != 0 && switchingOff()) status = send();
  return driverOkOrTagged(status, tag);
}

bool Morvand::State::switchingOff() const { return card_.switchOffDepth > 0; }

void Morvand::State::switchOffSequence(std::initializer_list<std::function<void()>> steps) {
  detail::SwitchOffScope scope(card_.switchOffDepth);
  std::exception_ptr first;
  for (const auto& step : steps) {
    try {
      step();
    } catch (...) {  // the steps after it still run; the host gets the first error
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

bool Morvand::State::writePort(int16_t port, int16_t mask, int16_t value, Tags tags,
                               bool requireCard) {
  if (requireCard && !cardSelected()) return false;
  CardContext& card = CardContext::current();
  card.portMode.port = port;
  card.portMode.direction = 1;
  if (card.features.numProgrammablePorts > 0) {
    const auto setMode = [&] {
      return card.driver().DioSetPortMode(card.DeviceHandle, card.portMode);
    };
    if (!commandOk(setMode, tags.first)) return false;
  }
  card.portWrite.port = port;
  card.portWrite.mask = mask;
  card.portWrite.value = value;
  if (!commandOk([&] { return card.driver().DioWritePortByte(card.DeviceHandle, card.portWrite); },
                 tags.second)) {
    return false;
  }
  if (port >= 0 && static_cast<size_t>(port) < card.outputLines.size()) {
    int16_t& lines = card.outputLines[static_cast<size_t>(port)];
    lines = static_cast<int16_t>((lines & ~mask) | (value & mask));
  }
  return true;
}

bool Morvand::State::readAnalog(int16_t channel, float& volts, Tags tags, bool requireCard) {
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

bool Morvand::State::configureAnalogOut(int16_t channel, const char* tag) {
  if (!cardSelected()) return false;
  CardContext& card = CardContext::current();
  card.aoConfig = {channel, kAnalogOutVolts, 0.0f};
  return commandOk([&] { return card.driver().AOConfig(card.DeviceHandle, card.aoConfig); }, tag);
}

bool Morvand::State::writeAnalogOut(int16_t channel, float volts, const char* tag) {
  if (!cardSelected()) return false;
  CardContext& card = CardContext::current();
  const AOVoltageOutRequest request{channel, volts};
  return commandOk([&] { return card.driver().AOVoltageOut(card.DeviceHandle, request); }, tag);
}

bool Morvand::State::writeAnalog(int16_t channel, float volts, Tags tags) {
  return configureAnalogOut(channel, tags.first) && writeAnalogOut(channel, volts, tags.second);
}

}  // namespace morvand
