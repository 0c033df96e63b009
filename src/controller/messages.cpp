// The operator message and the driver error reports: the one way every operation talks to
// the operator.

#include <string>

#include "controller/state.hpp"
#include "morvand/card_context.hpp"
#include "morvand/morvand.hpp"

namespace morvand {

namespace {
Events& silentEvents() {
  static Events none;
  return none;
}
}  // namespace

Events& Morvand::State::events() { return events_ != nullptr ? *events_ : silentEvents(); }

void Morvand::setEvents(Events* events) { state_->events_ = events; }

int16_t Morvand::State::operatorMessage(const std::string& text, int16_t style,
                                        const std::string& title, bool keepAnswer) {
  if (m.PopupMessage) {
    const int16_t answer = host_.messageBox(text, style, title);
    if (keepAnswer) msg_.MsgAnswer = answer;
    return answer;
  }
  events().LaserMessenger(text);
  return 0;
}

int16_t Morvand::State::askComposed() {
  msg_.MsgAnswer = host_.messageBox(msg_.MsgText, msg_.MsgStyle, msg_.MsgTitle);
  return msg_.MsgAnswer;
}

void Morvand::State::fetchErrorText(int32_t status) {
  // The driver writes a zero-terminated text into an 80-byte buffer; the text ends at the
  // terminator, whatever the rest of the buffer holds.
  // A driver that has no text for the status (it fails the call or leaves the buffer
  // empty) still gets a readable report: the status number.
  char buffer[80] = {};
  CardContext& card = CardContext::current();
  const int32_t textStatus = card.driver().GetErrorMessage(status, buffer);
  buffer[79] = '\0';
  card.ErrorText = std::string(buffer);
  if (textStatus != 0 || card.ErrorText.empty()) {
    card.ErrorText = "DRIVER ERROR " + std::to_string(status);
  }
}

bool Morvand::State::driverOk(int32_t status) {
  CardContext& card = CardContext::current();
  card.DriverStatus = status;
  if (status == 0) return true;
  fetchErrorText(status);
  if (m.PopupMessage) {
    msg_.MsgAnswer = host_.messageBox(card.ErrorText, kStyleOk, "Error!!");
  } else {
    events().LaserMessenger(card.ErrorText);
  }
  return false;
}

bool Morvand::State::driverOkWithCode(int32_t status) {
  CardContext& card = CardContext::current();
  card.DriverStatus = status;
  if (status == 0) return true;
  fetchErrorText(status);
  const std::string text = std::to_string(status) + ": " + card.ErrorText;
  if (m.PopupMessage) {
    msg_.MsgAnswer = host_.messageBox(text, kStyleOk, "Error!!");
  } else {
    events().LaserMessenger(text);
  }
  return false;
}

bool Morvand::State::driverOkTagged(int32_t status, const char* title) {
  CardContext& card = CardContext::current();
  card.DriverStatus = status;
  if (status == 0) return true;
  fetchErrorText(status);
  msg_.MsgAnswer =
      host_.messageBox(std::to_string(status) + ": " + card.ErrorText, kStyleOk, title);
  return false;
}

void Morvand::PopupSet(bool PopupSetting) { PopupMessage = PopupSetting; }

bool Morvand::TestStr(const std::string& DStr, const std::string& TStr) {
  // Every position is tested (the scan does not stop at the first match); an empty DStr
  // counts as a match.
  bool found = false;
  const auto n = static_cast<long>(DStr.size()) - static_cast<long>(TStr.size()) + 1;
  for (long p = 0; p < n; ++p) {
    if (DStr.compare(static_cast<size_t>(p), TStr.size(), TStr) == 0) found = true;
  }
  if (DStr.empty()) found = true;
  return found;
}

}  // namespace morvand
