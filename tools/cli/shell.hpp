#pragma once
// The console's shell: reads and writes any property and calls any method by name, through
// the controller's property and method tables. Scripts are the same commands from a file.

#include <map>
#include <string>
#include <vector>

#include "morvand/host.hpp"
#include "session.hpp"

namespace morvand::cli {

/// Splits a shell line into words: blanks separate, double quotes group ("a b"), a backslash
/// inside quotes escapes the next character, '#' outside quotes starts a comment, and
/// "NAME=VALUE" is read as NAME = VALUE. UsageError for an unterminated quote.
std::vector<std::string> splitWords(const std::string& line);

class Shell {
 public:
  explicit Shell(Session& session);
  /// Runs one line. Returns false when the line asks to leave. Throws UsageError for a line
  /// that cannot run (unknown name, bad value) and Failure when an expectation is not met or
  /// the controller refused the call.
  bool execute(const std::string& line);
  /// Names that complete prefix: shell words, properties, methods, list names.
  std::vector<std::string> complete(const std::string& prefix) const;

 private:
  bool run(const std::vector<std::string>& words);
  void help(const std::vector<std::string>& words);
  void call(const std::string& name, const std::vector<std::string>& args);
  void expect(const std::vector<std::string>& words);
  void showList(const std::string& name);
  ListBox& list(const std::string& name);

  Session& session_;
  std::map<std::string, ListBox> lists_;
};

/// The interactive shell on the terminal (readline with history and completion), or the
/// commands of standard input when it is not a terminal.
void runShell(Session& session);
/// Runs the commands of a file; the first failing line ends it, naming file and line.
void runScript(Session& session, const std::string& file);

}  // namespace morvand::cli
