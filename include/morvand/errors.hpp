#pragma once
/// Errors the controller reports to its host by throwing. Hardware faults never throw:
/// they are reported to the operator and returned as results.

#include <stdexcept>
#include <string>

namespace morvand {

/// Base of every error the controller throws across its public API.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// An array or list index outside its bounds (for example a counter number other than 0 to 2).
class IndexError : public Error {
 public:
  using Error::Error;
};

/// A 16- or 32-bit integer conversion or sum that does not fit.
class OverflowError : public Error {
 public:
  using Error::Error;
};

/// A floating-point fault (division by zero, a result that is not a number).
class FloatError : public Error {
 public:
  using Error::Error;
};

/// An invalid index given to a list control.
class ListError : public Error {
 public:
  using Error::Error;
};

/// A settings file that is missing, short, or holds a value outside its field's range.
class SettingsError : public Error {
 public:
  SettingsError(const std::string& file, const std::string& reason)
      : Error("settings file \"" + file + "\": " + reason), file_(file), reason_(reason) {}
  /// Name of the file at fault.
  const std::string& file() const { return file_; }
  /// What is wrong with it.
  const std::string& reason() const { return reason_; }

 private:
  std::string file_;
  std::string reason_;
};

/// A card back end that cannot be opened: an unknown address, a missing device or library.
class BackendError : public Error {
 public:
  using Error::Error;
};

}  // namespace morvand
