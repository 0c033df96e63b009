// Fuzzes the settings-file reader through the controller's construction: the input is cut
// into the four files at zero bytes. A construction either fails with SettingsError or
// succeeds; one that succeeds writes the files back at destruction, and those must load
// again to the same values (the writer never writes what the reader refuses).

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "morvand/errors.hpp"
#include "morvand/morvand.hpp"

namespace {

class SilentHost : public morvand::HostServices {
 public:
  int16_t messageBox(const std::string&, int16_t, const std::string&) override { return 1; }
  std::string inputBox(const std::string&, const std::string&, const std::string&) override {
    return {};
  }
  void yield() override {}
  void beep() override {}
};

struct Loaded {
  float tempSet;
  int16_t model, gas;
  int32_t cumTotal, thisFill;
};

Loaded load(SilentHost& host, morvand::VirtualClock& clock, bool& ok) {
  ok = false;
  try {
    morvand::Morvand m(host, nullptr, &clock);
    ok = true;
    return {m.TempSet, m.LaserTypeFlag, m.GasFlag, m.CumTotalPulses, m.PulsesThisFill};
  } catch (const morvand::SettingsError&) {
    return {};
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A directory of its own: the settings files are read from the current directory.
  static char dir[] = "/tmp/morvand-fuzz-XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) std::abort();
  std::atexit([] { std::filesystem::remove_all(dir); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kFiles[] = {"Paramdata", "Typedata", "Counter", "Industrial"};
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t from = 0;
  for (const char* name : kFiles) {
    const size_t end = std::min(input.find('\0', from), input.size());
    std::ofstream(name, std::ios::binary | std::ios::trunc) << input.substr(from, end - from);
    from = std::min(end + 1, input.size());
  }
  SilentHost host;
  morvand::VirtualClock clock;
  bool ok = false;
  const Loaded first = load(host, clock, ok);
  if (!ok) return 0;
  const Loaded again = load(host, clock, ok);
  if (!ok || std::memcmp(&first.tempSet, &again.tempSet, sizeof first.tempSet) != 0 ||
      first.model != again.model || first.gas != again.gas || first.cumTotal != again.cumTotal ||
      first.thisFill != again.thisFill) {
    std::abort();  // what was written does not load back to what was read
  }
  return 0;
}
