// Finding the cards: which comedi device nodes hold a board this back end serves, and the
// "comedi:" entry of the back-end table.

#include <comedilib.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "internal.hpp"
#include "morvand/comedi/comedi_card.hpp"
#include "morvand/errors.hpp"

namespace morvand::comedi {

namespace {

constexpr int kMaxMinor = 47;  // comedi's auto-configured minors end here
constexpr const char* kDriver = "adv_pci1710";

struct Board {
  const char* board;
  const char* model;
};
constexpr Board kBoards[] = {
    {"pci1710", "PCI-1710"}, {"pci1710hg", "PCI-1710HG"}, {"pci1711", "PCI-1711"}};

/// Empty when the node holds a supported board (device filled in), else why not; missing
/// tells a node that does not exist from one that cannot be used.
std::string identify(const std::string& path, Device& device, bool* missing = nullptr) {
  comedi_t* dev = comedi_open(path.c_str());
  if (dev == nullptr) {
    const int e = comedi_errno();
    if (missing) *missing = e == ENOENT || e == ENODEV || e == ENXIO;
    return "cannot open " + path + ": " + comedi_strerror(e);
  }
  const char* driverName = comedi_get_driver_name(dev);
  const char* boardName = comedi_get_board_name(dev);
  const std::string driver = driverName ? driverName : "";
  const std::string board = boardName ? boardName : "";
  std::string why;
  if (driver != kDriver) {
    why = path + " is a device of the " + driver + " driver (board " + board +
          "), not a PCI-1710 or PCI-1711 (driver " + kDriver + ")";
  } else {
    why = path + " holds a " + board +
          " board, which this back end does not serve (it serves pci1710, pci1710hg and "
          "pci1711)";
    for (const Board& b : kBoards) {
      if (board == b.board) {
        device = {path, board, b.model};
        why.clear();
      }
    }
    const int types[] = {COMEDI_SUBD_AI, COMEDI_SUBD_AO, COMEDI_SUBD_DI, COMEDI_SUBD_DO,
                         COMEDI_SUBD_COUNTER};
    for (unsigned s = 0; why.empty() && s < 5; ++s) {
      if (comedi_get_subdevice_type(dev, s) != types[s]) {
        why = path + " does not have the subdevices of a " + board +
              " (analog in, analog out, digital in, digital out, counter)";
      }
    }
  }
  comedi_close(dev);
  return why;
}

}  // namespace

std::string rangeName(double min, double max) {
  char text[32];
  if (min == -max) {
    std::snprintf(text, sizeof text, "+/-%g V", max);
  } else {
    std::snprintf(text, sizeof text, "%g-%g V", min, max);
  }
  return text;
}

std::vector<Device> findDevices(const std::string& rest) {
  if (rest.empty()) {
    std::vector<Device> found;
    std::string seen;
    for (int minor = 0; minor <= kMaxMinor; ++minor) {
      const std::string path = "/dev/comedi" + std::to_string(minor);
      Device d;
      bool missing = false;
      const std::string why = identify(path, d, &missing);
      if (why.empty()) {
        found.push_back(d);
      } else if (!missing) {
        seen += "; " + why;
      }
    }
    if (found.empty()) {
      throw BackendError(
          "no PCI-1710 or PCI-1711 found on /dev/comedi0 to /dev/comedi" +
          std::to_string(kMaxMinor) +
          (seen.empty() ? std::string(" (no comedi device could be opened: is the adv_pci1710 "
                                      "driver loaded, and may this user open the nodes?)")
                        : seen));
    }
    return found;
  }
  if (rest.front() != '/') {
    if (rest.find("1712") != std::string::npos) {
      throw BackendError(
          "the PCI-1712 has no Linux back end: no comedi driver serves it (on Linux only the "
          "PCI-1710 and PCI-1711 work; sim:1712 simulates it)");
    }
    throw BackendError("unknown comedi address \"comedi:" + rest +
                       "\" (comedi:/dev/comediN, or comedi: for the first supported device)");
  }
  Device d;
  const std::string why = identify(rest, d);
  if (!why.empty()) throw BackendError(why);
  return {d};
}

ComediBackend::ComediBackend(std::vector<Device> devices)
    : card_(std::make_shared<ComediCard>(std::move(devices), SystemClock::instance())) {}

Clock& ComediBackend::clock() { return SystemClock::instance(); }

std::unique_ptr<Backend> openBackend(const std::string& rest, const BackendOptions& options) {
  (void)options;  // a real card runs in real time
  return std::make_unique<ComediBackend>(findDevices(rest));
}

}  // namespace morvand::comedi
