// The host's model and gas lists, and taking the operator's choice from them.

#include "controller/state.hpp"
#include "morvand/models.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

constexpr int16_t kGasListPositions = 5;

// Where a single-gas model shows its one gas in the five-position list.
int16_t singleGasPosition(int16_t gas) { return gas == kGasArF ? 1 : 2; }

}  // namespace

void Morvand::GetLaserList(ListControl& LaserList) {
  LaserList.Clear();
  for (const ModelInfo& model : listedModels()) {
    LaserList.AddItem(model.designation);
    LaserList.SetItemData(LaserList.NewIndex(), model.code);
  }
  // With a control that sorts, the last entry added need not be the last position.
  List2Max = LaserList.NewIndex();
  LaserList.SetListIndex(state_->LaserListIndex(LaserList, LaserTypeFlag));
}

int16_t Morvand::State::LaserListIndex(ListControl& list, int16_t code) {
  // An int counter: List2Max is the host's to write, and a 16-bit counter would wrap past
  // 32767 and never end.
  for (int position = 0; position <= m.List2Max; ++position) {
    if (list.ItemData(static_cast<int16_t>(position)) == code) {
      return static_cast<int16_t>(position);
    }
  }
  return 0;
}

void Morvand::GetGasList(ListControl& GasList) {
  const ModelInfo* model = findModel(LaserTypeFlag);
  const GasOffer offer = model != nullptr ? model->offer : GasOffer::kFiveGases;
  const bool singleGas =
      offer == GasOffer::kArFOnly || offer == GasOffer::kCO2Only || offer == GasOffer::kN2Only;
  // The gas correction comes before the selection is computed from it.
  if (singleGas) {
    GasFlag = model->gasFor(GasFlag);
  } else if (offer == GasOffer::kF2ArFKrF) {
    if (GasFlag < kGasF2 || GasFlag > kGasKrF) GasFlag = kGasArF;
  } else if (GasFlag > kGasXeF) {
    GasFlag = kGasArF;
  }
  const int16_t offered = offer == GasOffer::kF2ArFKrF ? kGasKrF : kGasXeF;
  for (int16_t position = 0; position < kGasListPositions; ++position) {
    const int16_t gas = position + 1;
    std::string text;
    if (singleGas) {
      if (position == singleGasPosition(GasFlag)) text = findGas(GasFlag)->listText;
    } else if (gas <= offered) {
      text = findGas(gas)->listText;
    }
    GasList.SetList(position, text);
  }
  if (singleGas) {
    // The ArF-only models show their gas selected; the others show nothing selected.
    GasList.SetListIndex(GasFlag == kGasArF ? singleGasPosition(GasFlag) : -1);
    GasList.SetEnabled(false);
  } else {
    GasList.SetListIndex(util::checkedInt16(GasFlag - 1));
    GasList.SetEnabled(true);
  }
}

void Morvand::SetLaserAndGasType(ListControl& GasList, ListControl& LaserList) {
  LaserTypeFlag = util::checkedInt16(LaserList.ItemData(LaserList.ListIndex()));
  GasFlag = util::checkedInt16(GasList.ListIndex() + 1);
  GetGasList(GasList);
  state_->storeTypedata();
  LaserData();
  HiVoltSet();
  SetFillPress();
}

}  // namespace morvand
