// The bring-up probe: what the card is and what its inputs read, without driving anything
// unless asked.

#include <comedilib.h>

#include <cerrno>
#include <ostream>

#include "internal.hpp"
#include "morvand/comedi/comedi_card.hpp"
#include "morvand/errors.hpp"

namespace morvand::comedi {

namespace {

const char* typeName(int type) {
  switch (type) {
    case COMEDI_SUBD_AI:
      return "analog input";
    case COMEDI_SUBD_AO:
      return "analog output";
    case COMEDI_SUBD_DI:
      return "digital input";
    case COMEDI_SUBD_DO:
      return "digital output";
    case COMEDI_SUBD_COUNTER:
      return "counter";
    default:
      return "other";
  }
}

int failed(std::ostream& out, const char* what) {
  const int e = comedi_errno();
  out << "  " << what << " failed: " << comedi_strerror(e) << " (" << e << ")\n";
  return e != 0 ? e : EIO;
}

int probeDevice(const Device& d, bool writeOutputs, std::ostream& out) {
  comedi_t* dev = comedi_open(d.path.c_str());
  if (dev == nullptr) return failed(out, "open");
  comedi_set_global_oor_behavior(COMEDI_OOR_NUMBER);
  out << d.model << " (" << d.path << "): driver " << comedi_get_driver_name(dev) << ", board "
      << d.board << '\n';
  const int n = comedi_get_n_subdevices(dev);
  for (int s = 0; s < n; ++s) {
    const auto sub = static_cast<unsigned>(s);
    const int type = comedi_get_subdevice_type(dev, sub);
    out << "  subdevice " << s << ": " << typeName(type) << ", " << comedi_get_n_channels(dev, sub)
        << " channels, maxdata " << comedi_get_maxdata(dev, sub, 0) << '\n';
    if (type == COMEDI_SUBD_AI || type == COMEDI_SUBD_AO) {
      const int ranges = comedi_get_n_ranges(dev, sub, 0);
      for (int r = 0; r < ranges; ++r) {
        const comedi_range* rg = comedi_get_range(dev, sub, 0, static_cast<unsigned>(r));
        if (rg == nullptr) continue;
        out << "    range " << r << ": "
            << ((rg->unit & RF_EXTERNAL) ? "external reference (fraction of Vref)"
                                         : rangeName(rg->min, rg->max))
            << '\n';
      }
    }
  }
  int status = 0;
  unsigned source = 0, periodNs = 0;
  if (comedi_get_clock_source(dev, 4, 0, &source, &periodNs) < 0) {
    status = failed(out, "counter 0 clock source");
  } else {
    out << "  counter 0 clock: " << (source == 0 ? "internal" : "external pin") << ", period "
        << periodNs << " ns as the driver reports it (measure it on the card)\n";
  }

  out << "Inputs:\n";
  comedi_range* range0 = comedi_get_range(dev, 0, 0, 0);
  const int aiChannels = comedi_get_n_channels(dev, 0);
  for (int ch = 0; ch < aiChannels && range0 != nullptr; ++ch) {
    lsampl_t raw = 0;
    if (comedi_data_read(dev, 0, static_cast<unsigned>(ch), 0, AREF_GROUND, &raw) < 0) {
      status = failed(out, "analog input");
      continue;
    }
    out << "  AI " << ch << ": " << comedi_to_phys(raw, range0, comedi_get_maxdata(dev, 0, 0))
        << " V (raw " << raw << ", range 0)\n";
  }
  for (unsigned port = 0; port * 8 < static_cast<unsigned>(comedi_get_n_channels(dev, 2)); ++port) {
    unsigned bits = 0;
    if (comedi_dio_bitfield2(dev, 2, 0, &bits, port * 8) < 0) {
      status = failed(out, "digital input");
      continue;
    }
    out << "  DI port " << port << ": 0x" << std::hex << (bits & 0xFF) << std::dec << '\n';
  }
  lsampl_t count = 0;
  if (comedi_data_read(dev, 4, 0, 0, 0, &count) < 0) {
    status = failed(out, "counter 0 read");
  } else {
    out << "  counter 0: " << count << '\n';
  }

  if (writeOutputs) {
    unsigned bits = 0;
    bool ok = comedi_dio_bitfield2(dev, 3, 0xFFFF, &bits, 0) >= 0;
    ok = ok && comedi_data_write(dev, 1, 0, 0, AREF_GROUND, 0) >= 0;
    ok = ok && comedi_data_write(dev, 1, 1, 0, AREF_GROUND, 0) >= 0;
    ok = ok && comedi_reset_channel(dev, 4, 0) >= 0;
    if (ok) {
      out << "Outputs written safe: DO lines 0, AO 0 V, counter 0 reset\n";
    } else {
      status = failed(out, "writing the outputs");
    }
  } else {
    out << "No output written (--outputs writes the safe values)\n";
  }
  comedi_close(dev);
  return status;
}

}  // namespace

int probe(const std::string& rest, bool writeOutputs, std::ostream& out) {
  std::vector<Device> devices;
  try {
    devices = findDevices(rest);
  } catch (const BackendError& e) {
    out << e.what() << '\n';
    return ENODEV;
  }
  int status = 0;
  for (const Device& d : devices) {
    if (const int s = probeDevice(d, writeOutputs, out)) status = s;
  }
  return status;
}

}  // namespace morvand::comedi
