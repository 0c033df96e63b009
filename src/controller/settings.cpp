// The four settings files: one comma-separated line each, in the current directory.
// Reading fails construction on a missing file, a short file or a value outside its field's
// range; writing goes through a temporary file and a rename so a crash or a full disk never
// leaves a truncated file.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

namespace morvand {

namespace {

/// Path of a settings file in directory ("" = the current directory).
std::string inDirectory(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : (std::filesystem::path(directory) / name).string();
}

/// Reads the values of one settings file: values end at a comma or a line end.
class SettingsReader {
 public:
  SettingsReader(const std::string& directory, const std::string& name) : name_(name) {
    std::ifstream in(inDirectory(directory, name), std::ios::binary);
    if (!in) throw SettingsError(name, "the file is missing or cannot be read");
    std::ostringstream all;
    all << in.rdbuf();
    std::string field;
    for (char c : all.str()) {
      if (c == ',' || c == '\n' || c == '\r') {
        if (c == ',' || !isBlank(field)) fields_.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    if (!isBlank(field)) fields_.push_back(field);
  }

  double next(const char* what) {
    if (pos_ >= fields_.size()) {
      throw SettingsError(name_, std::string("the file ends before the ") + what);
    }
    const std::string& text = fields_[pos_++];
    double value = 0.0;
    if (!util::parseNumber(text, value)) {
      throw SettingsError(name_, std::string("the ") + what + " \"" + text + "\" is not a number");
    }
    return value;
  }

  int16_t nextInt16(const char* what) {
    const double v = next(what);
    try {
      return util::toInt16(v);
    } catch (const OverflowError&) {
      throw SettingsError(name_, std::string("the ") + what + " " + util::formatDouble(v) +
                                     " is outside -32768 to 32767");
    }
  }

  int32_t nextInt32(const char* what) {
    const double v = next(what);
    try {
      return util::toInt32(v);
    } catch (const OverflowError&) {
      throw SettingsError(name_, std::string("the ") + what + " " + util::formatDouble(v) +
                                     " is outside the 32-bit integer range");
    }
  }

  float nextSingle(const char* what) {
    const double v = next(what);
    try {
      return util::toSingle(v);
    } catch (const OverflowError&) {
      throw SettingsError(name_, std::string("the ") + what + " " + util::formatDouble(v) +
                                     " is outside the single-precision range");
    }
  }

 private:
  static bool isBlank(const std::string& s) {
    return s.find_first_not_of(" \t") == std::string::npos;
  }
  std::string name_;
  std::vector<std::string> fields_;
  size_t pos_ = 0;
};

/// Writes one line atomically; returns "" or the reason of the failure.
std::string writeLine(const std::string& name, const std::string& line) {
  const std::string temp = name + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot create " + temp;
    out << line << "\r\n";
    out.flush();
    if (!out) {
      out.close();
      std::remove(temp.c_str());
      return "write failed (disk full?)";
    }
  }
  if (std::rename(temp.c_str(), name.c_str()) != 0) {
    std::remove(temp.c_str());
    return "cannot replace the file";
  }
  return {};
}

}  // namespace

void Morvand::loadSettings() {
  {
    SettingsReader in(settings_.directory, "Paramdata");
    TempSet = in.nextSingle("temperature set-point");
    settings_.ParamValue2 = in.nextInt16("second value");
    settings_.ParamValue3 = in.nextInt16("third value");
    settings_.ParamValue4 = in.nextSingle("fourth value");
  }
  {
    SettingsReader in(settings_.directory, "Typedata");
    LaserTypeFlag = in.nextInt16("model code");
    GasFlag = in.nextInt16("gas selection");
  }
  {
    SettingsReader in(settings_.directory, "Counter");
    CumTotalPulses = in.nextInt32("lifetime pulse count");
    PulsesThisFill = in.nextInt32("pulses since the last fill");
  }
  {
    SettingsReader in(settings_.directory, "Industrial");
    settings_.IndustrialValue = in.nextInt16("value");
  }
}

namespace {
std::string join(std::initializer_list<std::string> values) {
  std::string line;
  for (const auto& v : values) {
    if (!line.empty()) line += ',';
    line += v;
  }
  return line;
}
}  // namespace

bool Morvand::storeFile(const std::string& name, const std::string& line) {
  const std::string reason = writeLine(inDirectory(settings_.directory, name), line);
  if (reason.empty()) return true;
  operatorMessage("SETTINGS FILE " + name + " COULD NOT BE SAVED: " + reason, 48,
                  "SETTINGS NOT SAVED");
  return false;
}

bool Morvand::storeTypedata() {
  return storeFile("Typedata", join({std::to_string(LaserTypeFlag), std::to_string(GasFlag)}));
}

void Morvand::storeSettings() {
  const std::pair<const char*, std::string> files[] = {
      {"Paramdata",
       join({util::formatSingle(TempSet), std::to_string(settings_.ParamValue2),
             std::to_string(settings_.ParamValue3), util::formatSingle(settings_.ParamValue4)})},
      {"Typedata", join({std::to_string(LaserTypeFlag), std::to_string(GasFlag)})},
      {"Counter", join({std::to_string(CumTotalPulses), std::to_string(PulsesThisFill)})},
      {"Industrial", std::to_string(settings_.IndustrialValue)},
  };
  for (const auto& [name, line] : files) storeFile(name, line);
}

}  // namespace morvand
