#include "morvand/host.hpp"

#include "morvand/errors.hpp"

namespace morvand {

void Events::Warmingup(float, bool&) {}
void Events::LaserRunning(int32_t, float) {}
void Events::Measurements(float, float, float, float, float) {}
void Events::ValveStatus(int16_t, const std::string&) {}
void Events::ExtRepRateRead(float, const std::string&) {}
void Events::LaserMessenger(const std::string&) {}
void Events::PCIcardSelect(int16_t&) {}
void Events::ExtStartState(bool) {}
void Events::MotorSelect(int16_t, int16_t) {}
void Events::MotorRpmRead(double, float, float) {}

void ListBox::check(int16_t index) const {
  if (index < 0 || index >= ListCount()) {
    throw ListError("invalid list index " + std::to_string(index));
  }
}

void ListBox::Clear() {
  items_.clear();
  listIndex_ = -1;
  newIndex_ = -1;
}

namespace {
// ListCount is an Int16: a list holds at most 32767 items (positions 0 to 32766).
constexpr size_t kMaxItems = 32767;
}  // namespace

void ListBox::AddItem(const std::string& text) {
  if (items_.size() >= kMaxItems) throw ListError("list is full");
  items_.push_back({text, 0});
  newIndex_ = static_cast<int16_t>(items_.size() - 1);
}

int32_t ListBox::ItemData(int16_t index) const {
  check(index);
  return items_[static_cast<size_t>(index)].data;
}

void ListBox::SetItemData(int16_t index, int32_t data) {
  check(index);
  items_[static_cast<size_t>(index)].data = data;
}

std::string ListBox::List(int16_t index) const {
  check(index);
  return items_[static_cast<size_t>(index)].text;
}

void ListBox::SetList(int16_t index, const std::string& text) {
  if (index < 0 || static_cast<size_t>(index) >= kMaxItems) {
    throw ListError("invalid list index " + std::to_string(index));
  }
  if (index >= ListCount()) items_.resize(static_cast<size_t>(index) + 1);
  items_[static_cast<size_t>(index)].text = text;
}

void ListBox::SetListIndex(int16_t index) {
  if (index < -1 || index >= ListCount()) {
    throw ListError("invalid list index " + std::to_string(index));
  }
  listIndex_ = index;
}

std::string ListBox::Text() const {
  return listIndex_ < 0 ? std::string() : items_[static_cast<size_t>(listIndex_)].text;
}

}  // namespace morvand
