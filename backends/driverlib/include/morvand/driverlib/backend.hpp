#pragma once
/// The card through its driver library, loaded at run time ("driver:" loads adsapi32.dll by
/// name, "driver:C:\path\to\library.dll" a given file). Windows only.

#include <memory>
#include <string>

#include "morvand/backends.hpp"

namespace morvand::driverlib {

/// Loads the library at path (a bare name is searched for the way Windows finds a DLL) and
/// looks up every driver operation. Throws BackendError naming the library when it cannot be
/// loaded, or naming each operation it lacks; the host goes on either way.
std::shared_ptr<CardDriver> loadDriverLibrary(const std::string& path);

/// Factory of the "driver:" table entry; rest is the library's path, empty for the default
/// name. The controller runs on the system clock.
std::unique_ptr<Backend> openBackend(const std::string& rest, const BackendOptions& options);

}  // namespace morvand::driverlib
