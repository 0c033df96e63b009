#pragma once
#include <cstdint>
#include <string>

namespace morvand::detail {

/// The last modal question and its answer (1 OK, 2 Cancel, 6 Yes, 7 No).
struct MessageState {
  int16_t MsgAnswer = 0;
  std::string MsgText;
  int16_t MsgStyle = 0;
  std::string MsgTitle;
};

/// Settings-file values the controller only carries and writes back unchanged.
struct SettingsState {
  int16_t ParamValue2 = 0;
  int16_t ParamValue3 = 0;
  float ParamValue4 = 0.0f;
  int16_t IndustrialValue = 0;
  /// Directory of the four settings files; empty means the current directory.
  std::string directory;
};

}  // namespace morvand::detail
