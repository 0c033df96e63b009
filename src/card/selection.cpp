// Card selection: list the driver's devices, recognise the card model, open it, read its
// features and fill the card form's lists.

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "card/card_model.hpp"
#include "controller/state.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

using card::CardModel;
using card::kCardModels;

constexpr int16_t kMaxDevices = 255;

/// A text from a fixed-length driver buffer ends at the driver's terminator (or at the
/// buffer's end when there is none).
template <std::size_t N>
std::string fixedText(const char (&buffer)[N]) {
  const char* end = static_cast<const char*>(std::memchr(buffer, '\0', N));
  return std::string(buffer, end != nullptr ? static_cast<std::size_t>(end - buffer) : N);
}

/// Appends prefix0 .. prefix(count-1), then selects the first item and enables the list.
void fillNumbered(ListBox& list, const char* prefix, int count) {
  for (int i = 0; i < count; ++i) list.AddItem(prefix + std::to_string(i));
  if (list.ListCount() > 0) {
    list.SetListIndex(0);
    list.SetEnabled(true);
  }
}

/// Digital ports of a line count: lines / 8, halves to even.
int portsOf(uint16_t lines) { return static_cast<int>(util::roundHalfEven(lines / 8.0)); }

}  // namespace

bool Morvand::StandardCard() {
  CardContext& card = CardContext::current();
  CardForm& form = card.form();

  int16_t written = 0;
  if (!state_->driverOk(
          card.driver().DeviceGetList(card.deviceList.data(), kMaxDevices, &written))) {
    PCIcard = -1;
    return false;
  }
  int16_t count = 0;
  if (!state_->driverOk(card.driver().DeviceGetNumOfList(&count))) {
    PCIcard = -1;
    return false;
  }
  state_->card_.DeviceCount = count;
  form.lstDevice.Clear();
  // The list holds at most 256 entries, whatever count the driver claims.
  const int listed = std::clamp<int>(count, 0, static_cast<int>(card.deviceList.size()));
  for (int i = 0; i < listed; ++i) {
    form.lstDevice.AddItem(fixedText(card.deviceList[static_cast<std::size_t>(i)].deviceName));
  }

  if (form.lstDevice.ListCount() < 1) {
    PCIcard = 0;
    return false;
  }
  const bool selected = SetPCIcard(0);
  if (selected) {
    // Safe state: enable off, valves closed, generator stopped, no charging voltage.
    state_->switchOffSequence({[this] { Reset(); }, [this] { CloseAllValves(); },
                               [this] { PulseOFF(); }, [this] { VoltageOff(); },
                               [this] { Enable(false); }});
  }
  return selected;
}

bool Morvand::SetPCIcard(int16_t lstDeviceIndex) {
  CardContext& card = CardContext::current();
  CardForm& form = card.form();
  // Re-selecting the open device changes nothing. A position whose selection failed (or that
  // another controller of this thread selected) is selected again instead of being reported
  // as selected while this controller has no card.
  if (lstDeviceIndex < 0) return true;
  if (lstDeviceIndex == form.lstDevice.ListIndex() && PCIcard != 0) return true;

  form.lstDevice.SetEnabled(true);
  form.lstDevice.SetListIndex(lstDeviceIndex);  // ListError beyond the last device
  const std::string name = form.lstDevice.Text();
  // An entry without a name is no card (the name test below would take it for any model).
  if (name.empty()) {
    PCIcard = 0;
    return false;
  }

  const CardModel* model = nullptr;
  for (const auto& candidate : kCardModels) {
    if (TestStr(name, candidate.number)) {
      model = &candidate;
      break;
    }
  }
  if (model == nullptr) {
    PCIcard = 0;
    return false;
  }
  PCIcard = model->code;
  state_->card_.RepRateMin = model->repRateMin;
  state_->card_.ExtTrigCounter = model->extTrigCounter;

  form.lstModule.Clear();
  form.lstChannelAi.Clear();
  form.lstVoltageRangeAi.Clear();

  // A DEMO device is not opened: the lists below come from the features an earlier
  // selection left.
  if (!TestStr(name, "DEMO")) {
    // One device open at a time: the one an earlier selection opened is closed first (a
    // failure to close is reported and the new device is still opened).
    if (card.deviceOpen) {
      card.deviceOpen = false;
      state_->driverOk(card.driver().DeviceClose(&card.DeviceHandle));
    }
    // The driver numbers its devices itself; the list entry carries the number to open.
    const int32_t deviceNum =
        card.deviceList.at(static_cast<std::size_t>(lstDeviceIndex)).deviceNum;
    AIConfigRecord aiConfig{};
    if (!state_->driverOk(card.driver().DeviceOpen(deviceNum, &card.DeviceHandle))) {
      PCIcard = 0;
      return false;
    }
    card.deviceOpen = true;
    if (!state_->driverOk(card.driver().DeviceGetFeatures(card.DeviceHandle, &card.features)) ||
        !state_->driverOk(card.driver().AIGetConfig(card.DeviceHandle, &aiConfig))) {
      PCIcard = 0;
      return false;
    }
    const bool differential = aiConfig.channelConfig != 0;
    fillNumbered(form.lstChannelAi, "Chan#",
                 differential ? card.features.numDifferentialAI : card.features.numSingleEndedAI);
    const int gains = std::min<int>(card.features.numGains, 16);
    for (int i = 0; i < gains; ++i) {
      form.lstVoltageRangeAi.AddItem(fixedText(card.features.gains[i].name));
    }
    if (gains > 0) {
      form.lstVoltageRangeAi.SetListIndex(0);
      form.lstVoltageRangeAi.SetEnabled(true);
    }
  }

  const DeviceFeatures& features = card.features;
  form.lstChannelAO.Clear();
  fillNumbered(form.lstChannelAO, "Chan#", features.numAO);
  form.lstVoltageRangeAO.SetList(0, "0 ~ 5 V");
  form.lstVoltageRangeAO.SetList(1, "0 ~ 10 V");
  form.lstVoltageRangeAO.SetListIndex(0);
  form.lstVoltageRangeAO.SetEnabled(true);
  form.lstChannelDO.Clear();
  fillNumbered(form.lstChannelDO, "Port#", portsOf(features.numDOLines));
  form.lstChannelDin.Clear();
  fillNumbered(form.lstChannelDin, "Port#", portsOf(features.numDILines));
  form.lstChannelCount.Clear();
  fillNumbered(form.lstChannelCount, "Chan#", features.numCounters);
  return true;
}

}  // namespace morvand
