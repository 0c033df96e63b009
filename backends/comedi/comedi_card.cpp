// The card driver on comedilib. Every operation maps onto the comedi subdevices of the
// adv_pci1710 driver (AI 0, AO 1, DI 2, DO 3, counter 4) and answers comedi's own error
// number; the controller decides what to do with it.

#include "morvand/comedi/comedi_card.hpp"

#include <comedi_errno.h>
#include <comedilib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "internal.hpp"

namespace morvand::comedi {

namespace {

constexpr unsigned kAI = 0, kAO = 1, kDI = 2, kDO = 3, kCounter = 4;
constexpr uint8_t kStatusOut = 0x80;                // 8254 status byte: OUT pin
constexpr uint8_t kStatusNullCount = 0x40;          // 8254 status byte: count not loaded yet
constexpr unsigned kDefaultCounterPeriodNs = 1000;  // what the driver reports at attach

/// comedilib's error number of the call that just failed (never 0).
int32_t lastError() {
  const int e = comedi_errno();
  return e != 0 ? e : EIO;
}

}  // namespace

ComediCard::ComediCard(std::vector<Device> devices, Clock& clock)
    : devices_(std::move(devices)), clock_(clock) {
  // Readings at the ends of a range are numbers, not NaN (the setting is process-wide).
  comedi_set_global_oor_behavior(COMEDI_OOR_NUMBER);
}

ComediCard::~ComediCard() {
  for (auto& [handle, o] : open_) {
    writeSafeOutputs(o);
    comedi_close(o.dev);
  }
}

ComediCard::Open* ComediCard::find(int32_t handle) {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

const ComediCard::Open* ComediCard::find(int32_t handle) const {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

double ComediCard::seconds() { return std::chrono::duration<double>(clock_.now()).count(); }

int32_t ComediCard::checkCounter(const Open& o, int16_t counter) const {
  // Counters 1 and 2 exist but pace the analog input: comedi answers EBUSY for them.
  return counter < 0 || counter >= o.counters ? EINVAL : 0;
}

int32_t ComediCard::writeSafeOutputs(Open& o) {
  int32_t first = 0;
  auto keep = [&first](bool ok) {
    if (!ok && first == 0) first = lastError();
  };
  unsigned bits = 0;
  keep(comedi_dio_bitfield2(o.dev, kDO, 0xFFFF, &bits, 0) >= 0);
  for (unsigned ch = 0; ch < 2; ++ch) {
    keep(comedi_data_write(o.dev, kAO, ch, 0, AREF_GROUND, 0) >= 0);  // 0 V on 0-5 V
    o.aoRange[ch] = 0;
  }
  // Mode 0 with no count written holds OUT low: the trigger line stays quiet.
  keep(comedi_reset_channel(o.dev, kCounter, 0) >= 0);
  o.counter0 = Counter0{};
  return first;
}

int32_t ComediCard::DeviceGetList(DeviceListEntry* list, int16_t maxEntries, int16_t* entriesOut) {
  if (list == nullptr || entriesOut == nullptr) return EFAULT;
  if (maxEntries < 0) return EINVAL;
  const size_t n = std::min<size_t>(devices_.size(), static_cast<size_t>(maxEntries));
  for (size_t i = 0; i < n; ++i) {
    DeviceListEntry e{};
    e.deviceNum = static_cast<int32_t>(i);
    // The model number in the name is how the controller recognises the card.
    const std::string name = devices_[i].model + " (" + devices_[i].path + ")";
    std::memcpy(e.deviceName, name.data(), std::min(name.size(), sizeof(e.deviceName) - 1));
    e.numSubdevices = 5;
    list[i] = e;
  }
  *entriesOut = static_cast<int16_t>(n);
  return 0;
}

int32_t ComediCard::DeviceGetNumOfList(int16_t* count) {
  if (count == nullptr) return EFAULT;
  *count = static_cast<int16_t>(devices_.size());
  return 0;
}

int32_t ComediCard::DeviceOpen(int32_t deviceNum, int32_t* handle) {
  if (handle == nullptr) return EFAULT;
  if (deviceNum < 0 || static_cast<size_t>(deviceNum) >= devices_.size()) return ENODEV;
  const Device& device = devices_[static_cast<size_t>(deviceNum)];
  comedi_t* dev = comedi_open(device.path.c_str());
  if (dev == nullptr) return lastError();
  Open o;
  o.dev = dev;
  o.device = &device;
  const int ai = comedi_get_n_channels(dev, kAI);
  const int ao = comedi_get_n_channels(dev, kAO);
  const int di = comedi_get_n_channels(dev, kDI);
  const int dout = comedi_get_n_channels(dev, kDO);
  const int ctr = comedi_get_n_channels(dev, kCounter);
  const int ranges = comedi_get_n_ranges(dev, kAI, 0);
  if (std::min({ai, ao, di, dout, ctr, ranges}) < 0) {
    const int32_t e = lastError();
    comedi_close(dev);
    return e;
  }
  o.aiChannels = static_cast<int16_t>(std::min(ai, 16));
  o.aoChannels = static_cast<int16_t>(std::min(ao, 2));
  o.diLines = static_cast<int16_t>(di);
  o.doLines = static_cast<int16_t>(dout);
  o.counters = static_cast<int16_t>(ctr);
  o.aiRanges = static_cast<int16_t>(ranges);
  o.aiDifferential = (comedi_get_subdevice_flags(dev, kAI) & SDF_DIFF) != 0;
  o.counterPeriodNs = kDefaultCounterPeriodNs;
  // Whatever an earlier process left, the card starts from the safe state.
  if (const int32_t s = writeSafeOutputs(o)) {
    comedi_close(dev);
    return s;
  }
  *handle = nextHandle_++;
  open_.emplace(*handle, o);
  return 0;
}

int32_t ComediCard::DeviceClose(int32_t* handle) {
  if (handle == nullptr) return EFAULT;
  Open* o = find(*handle);
  if (o == nullptr) return EBADF;
  // Outputs safe first, whatever the controller did before.
  int32_t s = writeSafeOutputs(*o);
  if (comedi_close(o->dev) < 0 && s == 0) s = lastError();
  open_.erase(*handle);
  return s;
}

int32_t ComediCard::DeviceGetFeatures(int32_t handle, DeviceFeatures* features) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (features == nullptr) return EFAULT;
  DeviceFeatures f{};
  f.numSingleEndedAI = static_cast<uint16_t>(o->aiChannels);
  f.numDifferentialAI = static_cast<uint16_t>(o->aiDifferential ? o->aiChannels / 2 : 0);
  f.numAO = static_cast<uint16_t>(o->aoChannels);
  f.numDOLines = static_cast<uint16_t>(o->doLines);
  f.numDILines = static_cast<uint16_t>(o->diLines);
  f.numProgrammablePorts = 0;  // DI and DO are separate fixed subdevices
  f.numCounters = 1;           // counters 1 and 2 pace the analog input
  const int16_t n = std::min<int16_t>(o->aiRanges, 16);
  f.numGains = static_cast<uint16_t>(n);
  for (int16_t i = 0; i < n; ++i) {
    const comedi_range* r = comedi_get_range(o->dev, kAI, 0, static_cast<unsigned>(i));
    if (r == nullptr) return lastError();
    f.gains[i].gainCode = i;  // the gain code is comedi's range index
    const std::string name = rangeName(r->min, r->max);
    std::memcpy(f.gains[i].name, name.data(), std::min(name.size(), sizeof(f.gains[i].name) - 1));
  }
  *features = f;
  return 0;
}

int32_t ComediCard::AIGetConfig(int32_t handle, AIConfigRecord* config) {
  if (find(handle) == nullptr) return EBADF;
  if (config == nullptr) return EFAULT;
  *config = AIConfigRecord{};  // every input is read against ground
  return 0;
}

int32_t ComediCard::GetErrorMessage(int32_t status, char text[80]) {
  if (text == nullptr) return EFAULT;
  const char* msg = comedi_strerror(status);
  const size_t n = msg == nullptr ? 0 : std::min<size_t>(std::strlen(msg), 79);
  if (n > 0) std::memcpy(text, msg, n);
  text[n] = '\0';
  return 0;
}

int32_t ComediCard::DioSetPortMode(int32_t handle, const PortModeRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (request.port < 0 || request.port * 8 >= o->doLines) return EINVAL;
  if (request.direction != 0 && request.direction != 1) return EINVAL;
  // The directions are fixed: comedilib refuses to configure DI or DO (EINVAL_SUBD).
  const unsigned subdev = request.direction == 1 ? kDO : kDI;
  if (comedi_dio_config(o->dev, subdev, static_cast<unsigned>(request.port) * 8,
                        request.direction == 1 ? COMEDI_OUTPUT : COMEDI_INPUT) < 0) {
    return lastError();
  }
  return 0;
}

int32_t ComediCard::DioWritePortByte(int32_t handle, const PortWriteRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (request.port < 0 || request.port * 8 >= o->doLines) return EINVAL;
  unsigned bits = static_cast<unsigned>(request.value) & 0xFF;
  if (comedi_dio_bitfield2(o->dev, kDO, static_cast<unsigned>(request.mask) & 0xFF, &bits,
                           static_cast<unsigned>(request.port) * 8) < 0) {
    return lastError();
  }
  return 0;
}

int32_t ComediCard::DioReadPortByte(int32_t handle, const PortReadRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (request.port < 0 || request.port * 8 >= o->diLines) return EINVAL;
  if (request.value == nullptr) return EFAULT;
  unsigned bits = 0;
  if (comedi_dio_bitfield2(o->dev, kDI, 0, &bits, static_cast<unsigned>(request.port) * 8) < 0) {
    return lastError();
  }
  *request.value = static_cast<int16_t>(bits & 0xFF);
  return 0;
}

int32_t ComediCard::AIConfig(int32_t handle, const AIConfigRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  // Nothing to send: comedi takes the range with every reading. Checked as the kernel would.
  if (request.channel < 0 || request.channel >= o->aiChannels) return EINVAL;
  if (request.gainCode < 0 || request.gainCode >= o->aiRanges) return EINVAL;
  o->aiRange[static_cast<size_t>(request.channel)] = request.gainCode;
  return 0;
}

int32_t ComediCard::AIVoltageIn(int32_t handle, const AIVoltageInRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (request.trigMode != 0) return EINVAL;  // software trigger only
  if (request.voltage == nullptr) return EFAULT;
  // Channel and range go to the kernel, which checks them.
  const auto ch = static_cast<unsigned>(request.channel);
  const auto range = static_cast<unsigned>(request.gainCode);
  // The driver rewrites its control register at every reading and so puts counter 0 back
  // on its internal clock: while the counter counts edges, its count is taken before the
  // reading, the external clock restored after it, and the ticks in between discounted.
  const Role role = o->counter0.role;
  const bool counting = role == Role::Counting || role == Role::Measuring;
  if (counting) {
    if (const int32_t s = readCounter0(*o, false)) return s;
  }
  lsampl_t raw = 0;
  const bool read = comedi_data_read(o->dev, kAI, ch, range, AREF_GROUND, &raw) >= 0;
  const int32_t readError = read ? 0 : lastError();
  if (counting) {
    if (comedi_set_clock_source(o->dev, kCounter, 0, 1, 0) < 0) return lastError();
    if (const int32_t s = readCounter0(*o, true)) return s;
  }
  if (!read) return readError;
  comedi_range* r = comedi_get_range(o->dev, kAI, ch, range);
  if (r == nullptr) return lastError();
  *request.voltage =
      static_cast<float>(comedi_to_phys(raw, r, comedi_get_maxdata(o->dev, kAI, ch)));
  return 0;
}

int32_t ComediCard::AOConfig(int32_t handle, const AOConfigRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (request.channel < 0 || request.channel >= o->aoChannels) return EINVAL_CHAN;
  // Range 0 is 0-5 V and range 1 is 0-10 V, both on the internal reference.
  if (request.minVolts != 0.0f) return EINVAL;
  if (request.maxVolts == 5.0f) {
    o->aoRange[static_cast<size_t>(request.channel)] = 0;
  } else if (request.maxVolts == 10.0f) {
    o->aoRange[static_cast<size_t>(request.channel)] = 1;
  } else {
    return EINVAL;
  }
  return 0;
}

int32_t ComediCard::AOVoltageOut(int32_t handle, const AOVoltageOutRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (request.channel < 0 || request.channel >= o->aoChannels) return EINVAL_CHAN;
  if (!std::isfinite(request.volts)) return EINVAL;
  const auto ch = static_cast<unsigned>(request.channel);
  comedi_range* r = comedi_get_range(o->dev, kAO, ch, o->aoRange[ch]);
  if (r == nullptr) return lastError();
  // comedilib would clamp silently; a voltage the range cannot give is refused instead.
  if (request.volts < r->min || request.volts > r->max) return ERANGE;
  const lsampl_t raw = comedi_from_phys(request.volts, r, comedi_get_maxdata(o->dev, kAO, ch));
  if (comedi_data_write(o->dev, kAO, ch, o->aoRange[ch], AREF_GROUND, raw) < 0) {
    return lastError();
  }
  return 0;
}

int32_t ComediCard::CounterEventStart(int32_t handle, const CounterEventStartRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (const int32_t s = checkCounter(*o, request.counter)) return s;
  if (request.gateMode != 0) return EINVAL;  // the driver cannot control the gate
  const auto c = static_cast<unsigned>(request.counter);
  // Count the edges on the counter's clock pin: mode 0 from 65536 (written as 0).
  if (comedi_set_clock_source(o->dev, kCounter, c, 1, 0) < 0 ||
      comedi_set_counter_mode(o->dev, kCounter, c, I8254_MODE0 | I8254_BINARY) < 0 ||
      comedi_data_write(o->dev, kCounter, c, 0, 0, 0) < 0) {
    return lastError();
  }
  if (c == 0) {
    o->counter0 = Counter0{};
    o->counter0.role = Role::Counting;
    o->counter0.startSeconds = seconds();
  }
  return 0;
}

int32_t ComediCard::readCounter0(Open& o, bool spurious) {
  lsampl_t raw = 0;
  if (comedi_data_read(o.dev, kCounter, 0, 0, 0, &raw) < 0) return lastError();
  lsampl_t data[2] = {INSN_CONFIG_8254_READ_STATUS, 0};
  comedi_insn insn{};
  insn.insn = INSN_CONFIG;
  insn.n = 2;
  insn.data = data;
  insn.subdev = kCounter;
  insn.chanspec = CR_PACK(0, 0, 0);
  if (comedi_do_insn(o.dev, &insn) < 0) return lastError();
  Counter0& c = o.counter0;
  if ((data[1] & kStatusNullCount) != 0) return 0;  // no edge yet: the count is not loaded
  const auto value = static_cast<uint16_t>(raw & 0xFFFF);
  // Decrements since the last read (or since the count was loaded).
  const uint16_t steps = static_cast<uint16_t>((c.loaded ? c.lastRaw : 0) - value);
  if (spurious) {
    c.skipped += steps;  // internal-clock ticks, not events
  } else {
    // The loading edge is an event the counter itself does not count down.
    c.events += steps + (c.loaded ? 0 : 1);
    if (!c.loaded) c.loadedByEvent = true;
  }
  c.loaded = true;
  c.lastRaw = value;
  // OUT rises when the count first reaches 0, 65536 decrements after the load; high before
  // the reads have seen that many means a whole wrap went by between two reads.
  const uint64_t decrements = c.events - (c.loadedByEvent ? 1 : 0) + c.skipped;
  if ((data[1] & kStatusOut) != 0 && decrements < 0x10000) c.overflow = true;
  if (c.events >= (uint64_t{1} << 32)) c.overflow = true;
  return 0;
}

int32_t ComediCard::CounterEventRead(int32_t handle, const CounterEventReadRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (const int32_t s = checkCounter(*o, request.counter)) return s;
  if (request.overflow == nullptr || request.count == nullptr) return EFAULT;
  const Role role = o->counter0.role;
  if (request.counter == 0 && (role == Role::Counting || role == Role::Measuring)) {
    if (const int32_t s = readCounter0(*o, false)) return s;
    *request.count = static_cast<uint32_t>(o->counter0.events);
    *request.overflow = o->counter0.overflow ? 1 : 0;
    return 0;
  }
  // Not counting: nothing was counted; the read still tells whether the counter is there.
  lsampl_t raw = 0;
  if (comedi_data_read(o->dev, kCounter, static_cast<unsigned>(request.counter), 0, 0, &raw) < 0) {
    return lastError();
  }
  *request.count = 0;
  *request.overflow = 0;
  return 0;
}

int32_t ComediCard::CounterReset(int32_t handle, int16_t counter) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (const int32_t s = checkCounter(*o, counter)) return s;
  if (comedi_reset_channel(o->dev, kCounter, static_cast<unsigned>(counter)) < 0) {
    return lastError();
  }
  if (counter == 0) o->counter0 = Counter0{};
  return 0;
}

int32_t ComediCard::CounterPulseStart(int32_t handle, const CounterPulseStartRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (const int32_t s = checkCounter(*o, request.counter)) return s;
  // A high time of 0 asks for a square wave.
  if (!std::isfinite(request.period) || request.period <= 0.0f || request.highTime < 0.0f ||
      request.highTime >= request.period || request.gateMode != 0) {
    return EINVAL;
  }
  // N clocks of the internal clock per period, 2 to 65536 (written as 0). A period beyond
  // that is refused before anything changes.
  auto clocks = [&request](unsigned periodNs) {
    return std::round(request.period / (periodNs * 1e-9));
  };
  auto fits = [](double n) { return n >= 2.0 && n <= 65536.0; };
  double n = clocks(o->counterPeriodNs);
  if (!fits(n)) return ERANGE;
  const auto c = static_cast<unsigned>(request.counter);
  if (comedi_set_clock_source(o->dev, kCounter, c, 0, 0) < 0) return lastError();
  unsigned source = 0, periodNs = 0;
  if (comedi_get_clock_source(o->dev, kCounter, c, &source, &periodNs) < 0) return lastError();
  if (periodNs > 0 && periodNs != o->counterPeriodNs) {
    // The driver reports another clock than assumed: the count follows what it reports.
    o->counterPeriodNs = periodNs;
    n = clocks(periodNs);
    if (!fits(n)) {
      comedi_reset_channel(o->dev, kCounter, c);
      if (c == 0) o->counter0 = Counter0{};
      return ERANGE;
    }
  }
  const double tick = o->counterPeriodNs * 1e-9;
  // Mode 3 is high for ceil(N/2) clocks, mode 2 for N-1: the nearer to the request wins.
  const double square = std::ceil(n / 2.0) * tick;
  const double narrowLow = (n - 1.0) * tick;
  const bool mode2 = request.highTime > 0.0f &&
                     std::abs(narrowLow - request.highTime) < std::abs(square - request.highTime);
  if (comedi_set_counter_mode(o->dev, kCounter, c,
                              (mode2 ? I8254_MODE2 : I8254_MODE3) | I8254_BINARY) < 0 ||
      comedi_data_write(o->dev, kCounter, c, 0, 0, static_cast<lsampl_t>(n) & 0xFFFF) < 0) {
    return lastError();
  }
  if (c == 0) {
    o->counter0 = Counter0{};
    o->counter0.role = Role::Generating;
    o->counter0.highTime = mode2 ? narrowLow : square;
  }
  return 0;
}

int32_t ComediCard::CounterFreqStart(int32_t handle, const CounterFreqStartRequest& request) {
  Open* o = find(handle);
  if (o == nullptr) return EBADF;
  if (const int32_t s = checkCounter(*o, request.counter)) return s;
  if (request.gatePeriod <= 0 || request.gateMode != 0) return EINVAL;
  // No gate on this card: the counter counts edges on its clock pin and the rate is timed in
  // software. Mode 0 holds OUT low, which takes the pulse train off the output.
  const auto c = static_cast<unsigned>(request.counter);
  if (comedi_set_clock_source(o->dev, kCounter, c, 1, 0) < 0 ||
      comedi_set_counter_mode(o->dev, kCounter, c, I8254_MODE0 | I8254_BINARY) < 0 ||
      comedi_data_write(o->dev, kCounter, c, 0, 0, 0) < 0) {
    return lastError();
  }
  if (c == 0) {
    o->counter0 = Counter0{};
    o->counter0.role = Role::Measuring;
    o->counter0.startSeconds = seconds();
  }
  return 0;
}

double ComediCard::producedHighTime(int32_t handle) const {
  const Open* o = find(handle);
  return o != nullptr && o->counter0.role == Role::Generating ? o->counter0.highTime : 0.0;
}

double ComediCard::measuredFrequency(int32_t handle) {
  Open* o = find(handle);
  if (o == nullptr || o->counter0.role != Role::Measuring || readCounter0(*o, false) != 0)
    return -1.0;
  const double elapsed = seconds() - o->counter0.startSeconds;
  return elapsed > 0.0 ? static_cast<double>(o->counter0.events) / elapsed : 0.0;
}

}  // namespace morvand::comedi
