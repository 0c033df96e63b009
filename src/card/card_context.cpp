#include "morvand/card_context.hpp"

#include <cstring>

namespace morvand {

namespace {

/// Stands in while no back end is chosen: every operation fails with "no card driver".
class NoDriver final : public CardDriver {
 public:
  static constexpr int32_t kStatus = 1;
  int32_t DeviceGetList(DeviceListEntry*, int16_t, int16_t*) override { return kStatus; }
  int32_t DeviceGetNumOfList(int16_t*) override { return kStatus; }
  int32_t DeviceOpen(int32_t, int32_t*) override { return kStatus; }
  int32_t DeviceClose(int32_t*) override { return kStatus; }
  int32_t DeviceGetFeatures(int32_t, DeviceFeatures*) override { return kStatus; }
  int32_t AIGetConfig(int32_t, AIConfigRecord*) override { return kStatus; }
  int32_t GetErrorMessage(int32_t, char text[80]) override {
    std::strncpy(text, "no card driver", 80);
    return 0;
  }
  int32_t DioSetPortMode(int32_t, const PortModeRequest&) override { return kStatus; }
  int32_t DioWritePortByte(int32_t, const PortWriteRequest&) override { return kStatus; }
  int32_t DioReadPortByte(int32_t, const PortReadRequest&) override { return kStatus; }
  int32_t AIConfig(int32_t, const AIConfigRequest&) override { return kStatus; }
  int32_t AIVoltageIn(int32_t, const AIVoltageInRequest&) override { return kStatus; }
  int32_t AOConfig(int32_t, const AOConfigRequest&) override { return kStatus; }
  int32_t AOVoltageOut(int32_t, const AOVoltageOutRequest&) override { return kStatus; }
  int32_t CounterEventStart(int32_t, const CounterEventStartRequest&) override { return kStatus; }
  int32_t CounterEventRead(int32_t, const CounterEventReadRequest&) override { return kStatus; }
  int32_t CounterReset(int32_t, int16_t) override { return kStatus; }
  int32_t CounterPulseStart(int32_t, const CounterPulseStartRequest&) override { return kStatus; }
  int32_t CounterFreqStart(int32_t, const CounterFreqStartRequest&) override { return kStatus; }
};

}  // namespace

CardContext& CardContext::current() {
  thread_local CardContext context;
  return context;
}

void CardContext::setDriver(std::shared_ptr<CardDriver> driver) { driver_ = std::move(driver); }

CardDriver& CardContext::driver() {
  static thread_local NoDriver none;
  return driver_ != nullptr ? *driver_ : none;
}

CardForm& CardContext::form() {
  if (!form_) form_ = std::make_unique<CardForm>();
  return *form_;
}

void CardContext::reset() { *this = CardContext(); }

}  // namespace morvand
