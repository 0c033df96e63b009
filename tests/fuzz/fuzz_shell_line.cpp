// Fuzzes the console's command reader: splitting a shell line into words and reading a valve
// pattern. Any line either reads or fails with UsageError; nothing else may escape.

#include <cstdint>
#include <string>

#include "commands.hpp"
#include "console.hpp"
#include "shell.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  try {
    for (const std::string& word : morvand::cli::splitWords(line)) {
      try {
        morvand::cli::parseValvePattern(word);
      } catch (const morvand::cli::UsageError&) {
      }
    }
  } catch (const morvand::cli::UsageError&) {
  }
  return 0;
}
