#pragma once
// The console's shell: reads and writes any property and calls any method by name, through
// the controller's property and method tables. Scripts are the same commands from a file.

#include <functional>
#include <future>
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

/// True for what may be typed while an operation runs: LaserStop, LaserPause, LaserRestart
/// or Halt (with their arguments), or a property name alone (a read).
bool allowedWhileBusy(const std::vector<std::string>& words);

class Shell {
 public:
  explicit Shell(Session& session);
  /// A person types at the terminal: while an operation runs, what they type is read (a
  /// stop, a property read, or the answer to a question) instead of waiting for its end.
  void attend(bool attended) { attended_ = attended; }
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
  template <class F>
  auto onThread(const std::string& running, F&& fn, bool operation = false);
  void whileBusy(const std::string& running, const std::function<bool()>& done);
  void typedWhileBusy(const std::string& running, const std::string& line,
                      std::vector<std::future<void>>& started);

  Session& session_;
  bool attended_ = false;
  std::map<std::string, ListBox> lists_;
};

/// The interactive shell on the terminal (readline with history and completion), or the
/// commands of standard input when it is not a terminal.
void runShell(Session& session);
/// Runs the commands of a file; the first failing line ends it, naming file and line.
void runScript(Session& session, const std::string& file);

}  // namespace morvand::cli
