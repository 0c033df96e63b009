// The stand-in comedilib: library checks answer comedilib's codes (EINVAL_SUBD,
// EINVAL_CHAN), the modelled kernel driver answers errno values (EINVAL, EBUSY).

#include "standin.hpp"

#include <comedi_errno.h>
#include <comedilib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

namespace morvand::comedi_standin {
namespace {

thread_local int lastError = 0;
comedi_oor_behavior oorBehavior = COMEDI_OOR_NAN;

struct Subdevice {
  int type;
  unsigned channels;
  lsampl_t maxdata;
  std::vector<comedi_range> ranges;
  unsigned flags = 0;
};

constexpr double kCounterClockHz = 1e6;    // counter 0's internal clock as the driver reports it
constexpr double kConversionTicks = 16.0;  // internal-clock ticks during one AI conversion

/// Counter 0 of the 8254: mode, clock source and the count, from the edges of its source.
struct Timer {
  int mode = 0;
  unsigned sourceActual = 0;    // what the hardware counts
  unsigned sourceReported = 0;  // what the driver believes (they part on every AI read)
  bool written = false;
  uint32_t n = 65536;
  double accumulated = 0.0;  // edges counted on earlier sources
  double sourceBase = 0.0;   // reading of the current source when it was chosen
  double edgesAtWrite = 0.0;
};

class BoardImpl final : public Board {
 public:
  BoardImpl(std::string driverName, std::string boardName, std::shared_ptr<sim::LaserPlant> p,
            Clock& c)
      : driver(std::move(driverName)), board(std::move(boardName)), plant(std::move(p)), clock(c) {
    if (driver == "comedi_test") {
      const std::vector<comedi_range> r{{-10, 10, UNIT_volt}, {-5, 5, UNIT_volt}};
      subdevices = {{COMEDI_SUBD_AI, 8, 65535, r}, {COMEDI_SUBD_AO, 8, 65535, r}};
      return;
    }
    std::vector<comedi_range> ai;
    unsigned aiFlags = SDF_DIFF;
    if (board == "pci1711") {
      ai = {{-10, 10, 0}, {-5, 5, 0}, {-2.5, 2.5, 0}, {-1.25, 1.25, 0}, {-0.625, 0.625, 0}};
      aiFlags = 0;
    } else if (board == "pci1710hg") {
      ai = {{-5, 5, 0},   {-0.5, 0.5, 0}, {-0.05, 0.05, 0}, {-0.005, 0.005, 0},
            {-10, 10, 0}, {-1, 1, 0},     {-0.1, 0.1, 0},   {-0.01, 0.01, 0},
            {0, 10, 0},   {0, 1, 0},      {0, 0.1, 0},      {0, 0.01, 0}};
    } else {
      ai = {{-5, 5, 0}, {-2.5, 2.5, 0}, {-1.25, 1.25, 0}, {-0.625, 0.625, 0}, {-10, 10, 0},
            {0, 10, 0}, {0, 5, 0},      {0, 2.5, 0},      {0, 1.25, 0}};
    }
    const std::vector<comedi_range> ao{{0, 5, UNIT_volt}, {0, 10, UNIT_volt}, {0, 1, RF_EXTERNAL}};
    const std::vector<comedi_range> digital{{0, 5, UNIT_volt}};
    subdevices = {{COMEDI_SUBD_AI, 16, 4095, ai, aiFlags},
                  {COMEDI_SUBD_AO, 2, 4095, ao},
                  {COMEDI_SUBD_DI, 16, 1, digital},
                  {COMEDI_SUBD_DO, 16, 1, digital},
                  {COMEDI_SUBD_COUNTER, 3, 0xFFFF, {{0, 65535, 0}}}};
  }

  uint16_t doLines() const override { return latch; }
  double aoVolts(int channel) const override { return aoOut[static_cast<size_t>(channel & 1)]; }
  double generatorRate() const override {
    const bool pulsing =
        (timer.mode == 2 || timer.mode == 3) && timer.written && timer.sourceActual == 0;
    return pulsing ? kCounterClockHz / timer.n : 0.0;
  }
  void addExternalEdges(uint64_t edges) override { extraEdges += static_cast<double>(edges); }

  // ---- the 8254 ----
  double sourceNow(unsigned source) {
    if (source == 0)
      return std::floor(std::chrono::duration<double>(clock.now()).count() * kCounterClockHz);
    return (plant ? std::floor(plant->externalPulses()) : 0.0) + extraEdges;
  }
  double edges() { return timer.accumulated + sourceNow(timer.sourceActual) - timer.sourceBase; }
  void setSource(unsigned source) {
    timer.accumulated = edges();
    timer.sourceActual = source;
    timer.sourceBase = sourceNow(source);
    drivePlant();
  }
  void setMode(int mode) {
    timer.mode = mode;
    timer.written = false;
    drivePlant();
  }
  void writeCount(lsampl_t value) {
    timer.written = true;
    timer.n = value == 0 ? 65536u : value;
    timer.edgesAtWrite = edges();
    drivePlant();
  }
  /// Edges since the write; the first one only loads the count.
  double sinceWrite() { return edges() - timer.edgesAtWrite; }
  lsampl_t readCount() {
    if (!timer.written) return 0;
    const double e = sinceWrite();
    if (e < 1.0) return 0;
    const double done = timer.mode == 0 ? e - 1.0 : std::fmod(e - 1.0, timer.n);
    return static_cast<lsampl_t>(std::fmod(timer.n - std::fmod(done, 65536.0) + 65536.0, 65536.0));
  }
  lsampl_t status() {
    const double e = timer.written ? sinceWrite() : 0.0;
    const bool nullCount = timer.written && e < 1.0;
    bool out = timer.mode != 0;  // modes 2 and 3 rest high
    if (timer.mode == 0) out = timer.written && e >= 1.0 && e - 1.0 >= timer.n;
    return (out ? 0x80u : 0u) | (nullCount ? 0x40u : 0u) | 0x30u |
           static_cast<unsigned>(timer.mode << 1);
  }
  void drivePlant() {
    if (plant) plant->setInternalTriggerRate(generatorRate());
  }

  // ---- digital lines ----
  void driveLines() {
    if (!plant) return;
    plant->setControlLines(static_cast<uint8_t>(latch & 0xFF));
    plant->setValveLines(static_cast<uint8_t>(latch >> 8));
  }
  unsigned inputs() {
    if (!plant) return 0;
    const unsigned tach = plant->tachometerHigh() ? 0x10 : 0;
    const unsigned port0 =
        (plant->powerOk() ? 0x01 : 0) | (plant->interlockClosed() ? 0x04 : 0) | tach;
    return port0 | (tach << 8);
  }

  std::string driver, board;
  std::shared_ptr<sim::LaserPlant> plant;
  Clock& clock;
  std::vector<Subdevice> subdevices;
  uint16_t latch = 0;
  std::array<lsampl_t, 2> aoRaw{};
  std::array<double, 2> aoOut{};
  Timer timer;
  double extraEdges = 0.0;
};

std::mutex nodesMutex;
std::map<std::string, std::shared_ptr<BoardImpl>>& nodes() {
  static std::map<std::string, std::shared_ptr<BoardImpl>> n;
  return n;
}

int fail(int error) {
  lastError = error;
  return -1;
}

}  // namespace

Board& install(const std::string& path, const std::string& board,
               std::shared_ptr<sim::LaserPlant> plant, Clock& clock, const std::string& driver) {
  auto b = std::make_shared<BoardImpl>(driver, board, std::move(plant), clock);
  std::lock_guard lock(nodesMutex);
  nodes()[path] = b;
  return *b;
}

void uninstallAll() {
  std::lock_guard lock(nodesMutex);
  nodes().clear();
}

}  // namespace morvand::comedi_standin

using morvand::comedi_standin::BoardImpl;
using morvand::comedi_standin::fail;
using morvand::comedi_standin::Subdevice;

struct comedi_t_struct {
  std::shared_ptr<BoardImpl> board;
};

namespace {

/// The subdevice, or null with EINVAL_SUBD (comedilib checks it before any ioctl).
Subdevice* subdevice(comedi_t* it, unsigned subd) {
  if (it == nullptr) {
    fail(EBAD_CT);
    return nullptr;
  }
  if (subd >= it->board->subdevices.size()) {
    fail(EINVAL_SUBD);
    return nullptr;
  }
  return &it->board->subdevices[subd];
}

bool busyCounter(const Subdevice& s, unsigned chan) {
  return s.type == COMEDI_SUBD_COUNTER && (chan == 1 || chan == 2);
}

}  // namespace

extern "C" {

comedi_t* comedi_open(const char* fn) {
  std::lock_guard lock(morvand::comedi_standin::nodesMutex);
  const auto& n = morvand::comedi_standin::nodes();
  const auto found = fn ? n.find(fn) : n.end();
  if (found == n.end()) {
    fail(ENOENT);
    return nullptr;
  }
  return new comedi_t_struct{found->second};
}

int comedi_close(comedi_t* it) {
  if (it == nullptr) return fail(EBAD_CT);
  delete it;
  return 0;
}

int comedi_errno(void) { return morvand::comedi_standin::lastError; }

const char* comedi_strerror(int errnum) {
  switch (errnum) {
    case EUNKNOWN:
      return "unknown error";
    case EBAD_CT:
      return "bad comedi_t structure";
    case EINVAL_SUBD:
      return "invalid subdevice";
    case EINVAL_CHAN:
      return "invalid channel";
    default:
      return std::strerror(errnum);
  }
}

enum comedi_oor_behavior comedi_set_global_oor_behavior(enum comedi_oor_behavior behavior) {
  const comedi_oor_behavior old = morvand::comedi_standin::oorBehavior;
  morvand::comedi_standin::oorBehavior = behavior;
  return old;
}

int comedi_get_n_subdevices(comedi_t* it) {
  return it ? static_cast<int>(it->board->subdevices.size()) : fail(EBAD_CT);
}

const char* comedi_get_driver_name(comedi_t* it) {
  return it ? it->board->driver.c_str() : nullptr;
}
const char* comedi_get_board_name(comedi_t* it) { return it ? it->board->board.c_str() : nullptr; }

int comedi_get_subdevice_type(comedi_t* it, unsigned int subd) {
  const Subdevice* s = subdevice(it, subd);
  return s ? s->type : -1;
}

int comedi_get_subdevice_flags(comedi_t* it, unsigned int subd) {
  const Subdevice* s = subdevice(it, subd);
  return s ? static_cast<int>(s->flags) : -1;
}

int comedi_get_n_channels(comedi_t* it, unsigned int subd) {
  const Subdevice* s = subdevice(it, subd);
  return s ? static_cast<int>(s->channels) : -1;
}

lsampl_t comedi_get_maxdata(comedi_t* it, unsigned int subd, unsigned int chan) {
  const Subdevice* s = subdevice(it, subd);
  if (s == nullptr) return 0;
  if (chan >= s->channels) return fail(EINVAL_CHAN), 0;
  return s->maxdata;
}

int comedi_get_n_ranges(comedi_t* it, unsigned int subd, unsigned int chan) {
  const Subdevice* s = subdevice(it, subd);
  if (s == nullptr) return -1;
  if (chan >= s->channels) return fail(EINVAL_CHAN);
  return static_cast<int>(s->ranges.size());
}

comedi_range* comedi_get_range(comedi_t* it, unsigned int subd, unsigned int chan,
                               unsigned int range) {
  Subdevice* s = subdevice(it, subd);
  if (s == nullptr) return nullptr;
  if (chan >= s->channels) return fail(EINVAL_CHAN), nullptr;
  if (range >= s->ranges.size()) return fail(EINVAL), nullptr;
  return &s->ranges[range];
}

double comedi_to_phys(lsampl_t data, comedi_range* rng, lsampl_t maxdata) {
  if (rng == nullptr || maxdata == 0) return std::numeric_limits<double>::quiet_NaN();
  if (morvand::comedi_standin::oorBehavior == COMEDI_OOR_NAN && (data == 0 || data == maxdata)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  return rng->min + static_cast<double>(data) / maxdata * (rng->max - rng->min);
}

lsampl_t comedi_from_phys(double data, comedi_range* rng, lsampl_t maxdata) {
  if (rng == nullptr || !std::isfinite(data)) return 0;
  const double raw = std::round((data - rng->min) / (rng->max - rng->min) * maxdata);
  return static_cast<lsampl_t>(std::clamp(raw, 0.0, static_cast<double>(maxdata)));
}

int comedi_data_read(comedi_t* it, unsigned int subd, unsigned int chan, unsigned int range,
                     unsigned int aref, lsampl_t* data) {
  Subdevice* s = subdevice(it, subd);
  if (s == nullptr) return -1;
  BoardImpl& b = *it->board;
  // From here on the kernel answers.
  if (chan >= s->channels || range >= s->ranges.size()) return fail(EINVAL);
  if (busyCounter(*s, chan)) return fail(EBUSY);
  switch (s->type) {
    case COMEDI_SUBD_AI: {
      if (aref == AREF_DIFF && !(s->flags & SDF_DIFF)) return fail(EINVAL);
      const comedi_range& r = s->ranges[range];
      const double v = b.plant ? b.plant->analogInput(static_cast<int>(chan)) : 0.0;
      const double raw = std::round((v - r.min) / (r.max - r.min) * s->maxdata);
      *data = static_cast<lsampl_t>(std::clamp(raw, 0.0, static_cast<double>(s->maxdata)));
      // The driver rewrites the control register from its copy without the external-clock
      // bit: counter 0 runs on the internal clock again, while the driver still reports
      // the external one.
      // The conversion takes about 16 us, which the counter then counts at 1 MHz.
      if (b.driver == "adv_pci1710" && b.timer.sourceActual != 0) {
        b.setSource(0);
        b.timer.accumulated += morvand::comedi_standin::kConversionTicks;
      }
      break;
    }
    case COMEDI_SUBD_AO:
      *data = b.aoRaw[chan & 1];
      break;
    case COMEDI_SUBD_DI:
      *data = (b.inputs() >> chan) & 1;
      break;
    case COMEDI_SUBD_DO:
      *data = (b.latch >> chan) & 1;
      break;
    case COMEDI_SUBD_COUNTER:
      *data = b.readCount();
      break;
    default:
      return fail(EINVAL);
  }
  return 1;
}

int comedi_data_write(comedi_t* it, unsigned int subd, unsigned int chan, unsigned int range,
                      unsigned int aref, lsampl_t data) {
  (void)aref;
  Subdevice* s = subdevice(it, subd);
  if (s == nullptr) return -1;
  if (chan >= s->channels) return fail(EINVAL_CHAN);  // checked in the library
  BoardImpl& b = *it->board;
  if (range >= s->ranges.size()) return fail(EINVAL);
  if (busyCounter(*s, chan)) return fail(EBUSY);
  switch (s->type) {
    case COMEDI_SUBD_AO: {
      const comedi_range& r = s->ranges[range];
      if (r.unit & RF_EXTERNAL) return fail(EINVAL);  // no reference wired in the model
      b.aoRaw[chan & 1] = std::min(data, s->maxdata);
      const double v =
          r.min + static_cast<double>(b.aoRaw[chan & 1]) / s->maxdata * (r.max - r.min);
      b.aoOut[chan & 1] = v;
      if (b.plant) b.plant->setAnalogOutput(static_cast<int>(chan), v);
      break;
    }
    case COMEDI_SUBD_COUNTER:
      if (data > 0xFFFF) return fail(EINVAL);
      b.writeCount(data);
      break;
    case COMEDI_SUBD_DO:
      b.latch = static_cast<uint16_t>((b.latch & ~(1u << chan)) | ((data & 1u) << chan));
      b.driveLines();
      break;
    default:
      return fail(EINVAL);
  }
  return 1;
}

int comedi_dio_config(comedi_t* it, unsigned int subd, unsigned int chan, unsigned int dir) {
  (void)chan;
  (void)dir;
  const Subdevice* s = subdevice(it, subd);
  if (s == nullptr) return -1;
  if (s->type != COMEDI_SUBD_DIO) return fail(EINVAL_SUBD);
  return 0;
}

int comedi_dio_bitfield2(comedi_t* it, unsigned int subd, unsigned int write_mask,
                         unsigned int* bits, unsigned int base_channel) {
  const Subdevice* s = subdevice(it, subd);
  if (s == nullptr) return -1;
  if (bits == nullptr) return fail(EFAULT);
  BoardImpl& b = *it->board;
  if (s->type == COMEDI_SUBD_DO) {
    const unsigned mask = (write_mask << base_channel) & 0xFFFF;
    b.latch = static_cast<uint16_t>((b.latch & ~mask) | ((*bits << base_channel) & mask));
    b.driveLines();
    *bits = b.latch >> base_channel;
  } else if (s->type == COMEDI_SUBD_DI) {
    *bits = b.inputs() >> base_channel;
  } else {
    return fail(EINVAL);
  }
  return 0;
}

int comedi_do_insn(comedi_t* it, comedi_insn* insn) {
  if (insn == nullptr) return fail(EFAULT);
  Subdevice* s = subdevice(it, insn->subdev);
  if (s == nullptr) return -1;
  const unsigned chan = CR_CHAN(insn->chanspec);
  if (chan >= s->channels) return fail(EINVAL);
  if (busyCounter(*s, chan)) return fail(EBUSY);
  if (s->type == COMEDI_SUBD_COUNTER && insn->insn == INSN_CONFIG && insn->n == 2 &&
      insn->data[0] == INSN_CONFIG_8254_READ_STATUS) {
    insn->data[1] = it->board->status();
    return static_cast<int>(insn->n);
  }
  return fail(EINVAL);
}

int comedi_set_counter_mode(comedi_t* it, unsigned subdevice_, unsigned channel,
                            unsigned mode_bits) {
  Subdevice* s = subdevice(it, subdevice_);
  if (s == nullptr) return -1;
  if (s->type != COMEDI_SUBD_COUNTER || channel >= s->channels) return fail(EINVAL);
  if (busyCounter(*s, channel)) return fail(EBUSY);
  const int mode = static_cast<int>((mode_bits >> 1) & 7);
  if ((mode_bits & ~0xFu) != 0 || mode > 5) return fail(EINVAL);
  it->board->setMode(mode);
  return 0;
}

int comedi_set_clock_source(comedi_t* it, unsigned subdevice_, unsigned channel, unsigned clock,
                            unsigned period_ns) {
  (void)period_ns;
  Subdevice* s = subdevice(it, subdevice_);
  if (s == nullptr) return -1;
  if (s->type != COMEDI_SUBD_COUNTER || channel >= s->channels) return fail(EINVAL);
  if (busyCounter(*s, channel)) return fail(EBUSY);
  if (clock > 1) return fail(EINVAL);
  it->board->timer.sourceReported = clock;
  it->board->setSource(clock);
  return 0;
}

int comedi_get_clock_source(comedi_t* it, unsigned subdevice_, unsigned channel, unsigned* clock,
                            unsigned* period_ns) {
  Subdevice* s = subdevice(it, subdevice_);
  if (s == nullptr) return -1;
  if (s->type != COMEDI_SUBD_COUNTER || channel >= s->channels) return fail(EINVAL);
  if (busyCounter(*s, channel)) return fail(EBUSY);
  if (clock == nullptr || period_ns == nullptr) return fail(EFAULT);
  *clock = it->board->timer.sourceReported;
  *period_ns = *clock == 0 ? 1000 : 0;
  return 0;
}

int comedi_reset_channel(comedi_t* it, unsigned subdevice_, unsigned channel) {
  Subdevice* s = subdevice(it, subdevice_);
  if (s == nullptr) return -1;
  if (s->type != COMEDI_SUBD_COUNTER || channel >= s->channels) return fail(EINVAL);
  if (busyCounter(*s, channel)) return fail(EBUSY);
  it->board->setMode(0);
  return 0;
}

}  // extern "C"
