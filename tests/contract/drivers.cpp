// The drivers the contract runs against: the scripted card, each simulated card and, when
// comedilib is there, the comedi back end over the stand-in.

#include <chrono>

#include "driver_contract.hpp"
#include "morvand/sim/simulation.hpp"
#include "support/scripted_card.hpp"
#ifdef MORVAND_HAVE_COMEDI
#include "morvand/comedi/comedi_card.hpp"
#include "standin.hpp"
#endif

namespace morvand::contract {
namespace {

class ScriptedHarness final : public Harness {
 public:
  ScriptedHarness() {
    card_.addDevice("PCI-1711");
    card_.DeviceOpen(0, &handle_);
  }
  CardDriver& driver() override { return card_; }
  int32_t handle() const override { return handle_; }
  int outputPort(int16_t port) override { return card_.portOut[port] & 0xFF; }
  double analogOut(int16_t channel) override { return card_.analogOut[channel]; }
  void feedEvents(uint64_t n) override {
    total_ += n;
    card_.setCount(0, static_cast<uint32_t>(total_));
  }

 private:
  test::ScriptedCard card_;
  int32_t handle_ = 0;
  uint64_t total_ = 0;
};

/// Makes n edges arrive on the simulated laser's external trigger input within a second.
void feedExternal(sim::Simulation& s, uint64_t n) {
  s.plant->setExternalTriggerRate(static_cast<double>(n));
  s.clock.advance(std::chrono::seconds(1));
  s.plant->setExternalTriggerRate(0.0);
}

class SimHarness final : public Harness {
 public:
  explicit SimHarness(const char* uri) : sim_(sim::makeSimulation(uri, 7)) {
    sim_->card->DeviceOpen(0, &handle_);
  }
  CardDriver& driver() override { return *sim_->card; }
  int32_t handle() const override { return handle_; }
  int outputPort(int16_t port) override { return sim_->card->outputLatch(port); }
  double analogOut(int16_t channel) override { return sim_->card->analogOutput(channel); }
  void feedEvents(uint64_t n) override { feedExternal(*sim_, n); }

 private:
  std::unique_ptr<sim::Simulation> sim_;
  int32_t handle_ = 0;
};

#ifdef MORVAND_HAVE_COMEDI
class ComediHarness final : public Harness {
 public:
  explicit ComediHarness(const char* board) : sim_(sim::makeSimulation("sim:1711", 7)) {
    board_ = &comedi_standin::install("/dev/comedi0", board, sim_->plant, sim_->clock);
    card_ = std::make_unique<comedi::ComediCard>(comedi::findDevices("/dev/comedi0"), sim_->clock);
    card_->DeviceOpen(0, &handle_);
  }
  ~ComediHarness() override {
    card_.reset();
    comedi_standin::uninstallAll();
  }
  CardDriver& driver() override { return *card_; }
  int32_t handle() const override { return handle_; }
  int outputPort(int16_t port) override { return (board_->doLines() >> (8 * port)) & 0xFF; }
  double analogOut(int16_t channel) override { return board_->aoVolts(channel); }
  void feedEvents(uint64_t n) override { board_->addExternalEdges(n); }

 private:
  std::unique_ptr<sim::Simulation> sim_;
  comedi_standin::Board* board_ = nullptr;
  std::unique_ptr<comedi::ComediCard> card_;
  int32_t handle_ = 0;
};
#endif

DriverTraits simTraits(const char* name, const char* uri) {
  DriverTraits t;
  t.name = name;
  t.open = [uri] { return std::make_unique<SimHarness>(uri); };
  t.hardwareWrap = uint64_t{1} << 32;
  t.flagsMissedWrap = true;
  t.belowRange = BelowRange::Clipped;
  t.aoStep = 5.0 / 4096;
  return t;
}

}  // namespace

std::vector<DriverTraits> allDrivers() {
  std::vector<DriverTraits> all;
  DriverTraits scripted;
  scripted.name = "scripted";
  scripted.open = [] { return std::make_unique<ScriptedHarness>(); };
  scripted.checksArguments = false;
  all.push_back(scripted);
  all.push_back(simTraits("sim1710", "sim:1710"));
  all.push_back(simTraits("sim1711", "sim:1711"));
  all.push_back(simTraits("sim1712", "sim:1712"));
  all.push_back(simTraits("simdemo", "sim:demo"));
#ifdef MORVAND_HAVE_COMEDI
  for (const char* board : {"pci1710", "pci1711"}) {
    DriverTraits t;
    t.name = std::string("comedi_") + board;
    t.open = [board] { return std::make_unique<ComediHarness>(board); };
    t.hardwareWrap = 65536;
    t.flagsMissedWrap = true;
    t.belowRange = BelowRange::Refused;
    t.aoStep = 5.0 / 4095;
    all.push_back(t);
  }
#endif
  return all;
}

}  // namespace morvand::contract
