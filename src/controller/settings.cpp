// The four settings files: one comma-separated line each, in the current directory.
// Reading fails construction on a missing file, a short file or a value outside its field's
// range; writing goes through a temporary file and a rename so a crash or a full disk never
// leaves a truncated file.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "controller/state.hpp"
#include "morvand/morvand.hpp"
#include "util/numeric.hpp"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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
    if (pos_ >= fields_.size()) {
      throw SettingsError(name_, std::string("the file ends before the ") + what);
    }
    const std::string& text = fields_[pos_++];
    float value = 0.0f;
    try {
      if (util::parseSingle(text, value)) return value;
    } catch (const OverflowError&) {
      throw SettingsError(name_, std::string("the ") + what + " " + trimmed(text) +
                                     " is outside the single-precision range");
    }
    throw SettingsError(name_, std::string("the ") + what + " \"" + text + "\" is not a number");
  }

 private:
  static bool isBlank(const std::string& s) {
    return s.find_first_not_of(" \t") == std::string::npos;
  }
  static std::string trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    return first == std::string::npos ? std::string()
                                      : s.substr(first, s.find_last_not_of(" \t") - first + 1);
  }
  std::string name_;
  std::vector<std::string> fields_;
  size_t pos_ = 0;
};

const char* const kSettingsFiles[] = {"Paramdata", "Typedata", "Counter", "Industrial"};

std::string temporaryName(const std::string& name) { return name + ".tmp"; }

/// Removes the temporary files a write killed before its rename left behind. Only regular
/// files: anything else in their place is left for the write to report.
void removeStrayTemporaries() {
  for (const char* name : kSettingsFiles) {
    std::error_code ec;
    const std::filesystem::path temp = temporaryName(name);
    if (std::filesystem::is_regular_file(temp, ec)) std::filesystem::remove(temp, ec);
  }
}

/// Writes the whole text and forces it to the disk; false on any failure, close included.
bool writeDurably(std::FILE* out, const std::string& text) {
  bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  ok = std::fflush(out) == 0 && ok;
#ifdef _WIN32
  ok = _commit(_fileno(out)) == 0 && ok;
#else
  ok = fsync(fileno(out)) == 0 && ok;
#endif
  return std::fclose(out) == 0 && ok;
}

/// Writes one line atomically; returns "" or the reason of the failure.
std::string writeLine(const std::string& name, const std::string& line) {
  removeStrayTemporaries();
  const std::string temp = temporaryName(name);
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (out == nullptr) return "cannot create " + temp;
  if (!writeDurably(out, line + "\r\n")) {
    std::remove(temp.c_str());
    return "write failed (disk full?)";
  }
  // filesystem::rename replaces an existing file everywhere (std::rename does not on Windows).
  std::error_code ec;
  std::filesystem::rename(temp, name, ec);
  if (ec) {
    std::remove(temp.c_str());
    return "cannot replace the file";
  }
  return {};
}

}  // namespace

void Morvand::State::loadSettings() {
  {
    SettingsReader in(settings_.directory, "Paramdata");
    m.TempSet = in.nextSingle("temperature set-point");
    settings_.ParamValue2 = in.nextInt16("second value");
    settings_.ParamValue3 = in.nextInt16("third value");
    settings_.ParamValue4 = in.nextSingle("fourth value");
  }
  {
    SettingsReader in(settings_.directory, "Typedata");
    m.LaserTypeFlag = in.nextInt16("model code");
    m.GasFlag = in.nextInt16("gas selection");
  }
  {
    SettingsReader in(settings_.directory, "Counter");
    m.CumTotalPulses = in.nextInt32("lifetime pulse count");
    m.PulsesThisFill = in.nextInt32("pulses since the last fill");
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

bool Morvand::State::storeFile(const std::string& name, const std::string& line) {
  const std::string reason = writeLine(inDirectory(settings_.directory, name), line);
  if (reason.empty()) return true;
  operatorMessage("SETTINGS FILE " + name + " COULD NOT BE SAVED: " + reason, kStyleWarning,
                  "SETTINGS NOT SAVED");
  return false;
}

bool Morvand::State::storeTypedata() {
  return storeFile("Typedata", join({std::to_string(m.LaserTypeFlag), std::to_string(m.GasFlag)}));
}

std::string Morvand::State::savedSingle(const char* file, const char* field, float value,
                                        float initial) {
  // The reader refuses a non-number, so it never reaches a file: the field starts over
  // from its initial value, and the operator hears of it.
  if (std::isfinite(value)) return util::formatSingle(value);
  const std::string saved = util::formatSingle(initial);
  operatorMessage(std::string("SETTINGS FILE ") + file + ": " + field +
                      " IS NOT A FINITE NUMBER, SAVED AS " + saved,
                  kStyleWarning, "SETTINGS VALUE REPLACED");
  return saved;
}

void Morvand::State::storeSettings() {
  const std::pair<const char*, std::string> files[] = {
      {"Paramdata",
       join({savedSingle("Paramdata", "TempSet", m.TempSet, Properties{}.TempSet),
             std::to_string(settings_.ParamValue2), std::to_string(settings_.ParamValue3),
             savedSingle("Paramdata", "ParamValue4", settings_.ParamValue4,
                         detail::SettingsState{}.ParamValue4)})},
      {"Typedata", join({std::to_string(m.LaserTypeFlag), std::to_string(m.GasFlag)})},
      {"Counter", join({std::to_string(m.CumTotalPulses), std::to_string(m.PulsesThisFill)})},
      {"Industrial", std::to_string(settings_.IndustrialValue)},
  };
  for (const auto& [name, line] : files) storeFile(name, line);
}

}  // namespace morvand
