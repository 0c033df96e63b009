#include "shell.hpp"

#ifdef MORVAND_HAVE_READLINE
#include <readline/history.h>
#include <readline/readline.h>
#endif
#include <unistd.h>

#ifndef _WIN32
#include <poll.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <optional>

#include "morvand/reflection.hpp"

namespace morvand::cli {
namespace {

namespace refl = morvand::reflection;

const std::vector<std::string>& shellWords() {
  static const std::vector<std::string> words{"help",   "properties", "methods", "list", "select",
                                              "limits", "expect",     "echo",    "quit", "exit"};
  return words;
}

Activity activityOf(const std::string& method) {
  if (method == "LaserRun") return Activity::Run;
  if (method == "ThyWarmup" || method == "MorvandStatus") return Activity::Warmup;
  if (method == "GasAutoRefill" || method == "GasPartialRefill" || method == "OpticsSevStart" ||
      method == "OpticsSevFinish" || method == "FillLaser") {
    return Activity::Gas;
  }
  return Activity::Other;
}

std::string signature(const refl::MethodInfo& m) {
  std::string text(m.name);
  for (size_t i = 0; i < m.arguments.size(); ++i) {
    const auto& a = m.arguments[i];
    const bool optional = i + 1 == m.arguments.size() && m.defaultLast.has_value();
    text += std::string(" ") + (optional ? "[" : "") + std::string(a.name) + ":" +
            std::string(refl::typeName(a.type)) + (a.byReference ? "&" : "") +
            (optional ? "]" : "");
  }
  if (m.result != refl::Type::Void) text += " -> " + std::string(refl::typeName(m.result));
  return text;
}

double asNumber(const refl::Value& v) {
  switch (refl::typeOf(v)) {
    case refl::Type::Bool:
      return std::get<bool>(v) ? 1.0 : 0.0;
    case refl::Type::Int16:
      return std::get<int16_t>(v);
    case refl::Type::Int32:
      return std::get<int32_t>(v);
    case refl::Type::Single:
      return std::get<float>(v);
    case refl::Type::Double:
      return std::get<double>(v);
    default:
      return 0.0;
  }
}

#ifdef MORVAND_HAVE_READLINE
Shell* g_completing = nullptr;
int g_pressesAtPrompt = 0;

// Ctrl-C at the prompt throws the typed line away and starts a fresh one, as shells do.
int onSignalAtPrompt() {
  if (interruptPresses() != g_pressesAtPrompt) {
    g_pressesAtPrompt = interruptPresses();
    rl_replace_line("", 0);
    rl_crlf();
    rl_on_new_line();
    rl_redisplay();
  }
  return 0;
}

char* completionGenerator(const char* text, int state) {
  static std::vector<std::string> matches;
  static size_t next = 0;
  if (state == 0) {
    matches = g_completing != nullptr ? g_completing->complete(text) : std::vector<std::string>{};
    next = 0;
  }
  if (next >= matches.size()) return nullptr;
  return strdup(matches[next++].c_str());
}

char** completion(const char* text, int, int) {
  rl_attempted_completion_over = 1;  // no file names
  return rl_completion_matches(text, completionGenerator);
}
#endif

}  // namespace

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '\\' && i + 1 < line.size()) {
        word += line[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == '"') {
      quoted = true;
      inWord = true;
    } else if (c == '#') {
      break;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '=' && words.empty() && inWord) {
      // NAME=VALUE: the name ends here.
      words.push_back(word);
      words.emplace_back("=");
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quoted) throw UsageError("missing closing quote");
  if (inWord) words.push_back(word);
  return words;
}

Shell::Shell(Session& session) : session_(session) {}

std::vector<std::string> Shell::complete(const std::string& prefix) const {
  std::vector<std::string> out;
  const auto add = [&](std::string_view name) {
    if (name.substr(0, prefix.size()) == prefix) out.emplace_back(name);
  };
  for (const auto& w : shellWords()) add(w);
  for (const auto& p : refl::properties()) add(p.name);
  for (const auto& m : refl::methods()) add(m.name);
  for (const auto& [name, box] : lists_) add(name);
  return out;
}

ListBox& Shell::list(const std::string& name) { return lists_[name]; }

void Shell::showList(const std::string& name) {
  const auto it = lists_.find(name);
  if (it == lists_.end()) throw UsageError("no list named " + name);
  const ListBox& box = it->second;
  for (int16_t i = 0; i < box.ListCount(); ++i) {
    session_.console().line(std::string(i == box.ListIndex() ? "* " : "  ") + std::to_string(i) +
                            "  " + box.List(i) + "  (" + std::to_string(box.ItemData(i)) + ")");
  }
  if (box.ListCount() == 0) session_.console().line("(empty)");
}

void Shell::help(const std::vector<std::string>& words) {
  Console& c = session_.console();
  if (words.size() > 1) {
    if (const auto* p = refl::findProperty(words[1])) {
      c.line(std::string(p->name) + ": property, " + std::string(refl::typeName(p->type)));
      c.line("  " + std::string(p->description));
    } else if (const auto* m = refl::findMethod(words[1])) {
      c.line(signature(*m));
      c.line("  " + std::string(m->description));
    } else {
      throw UsageError("no property or method named " + words[1]);
    }
    return;
  }
  c.line("NAME                 read a property, or call a method without arguments");
  c.line("NAME = VALUE         write a property");
  c.line("NAME ARG...          call a method (Object arguments are list names)");
  c.line("help NAME            type and meaning of a property, signature and use of a method");
  c.line("properties, methods  every name;  limits  the model and fill limits");
  c.line("list NAME            a list's items;  select NAME INDEX  choose an item");
  c.line("expect NAME OP VALUE stop a script unless the property compares so (== != < <= > >=)");
  c.line("echo TEXT            print;  quit  leave (the controller shuts down)");
}

// Runs fn on the controller thread. While an operation (a method) runs at a terminal the
// operator may stop it, read a property, and answer its questions; anything else, and a
// script, waits for the end.
template <class F>
auto Shell::onThread(const std::string& running, F&& fn, bool operation) {
  auto future = session_.thread().submit(std::forward<F>(fn));
  if (attended_ && operation) {
    whileBusy(running, [&] { return Session::ready(future, std::chrono::milliseconds(0)); });
  } else {
    session_.serveUntil([&] { return Session::ready(future); });
  }
  return future.get();
}

void Shell::call(const std::string& name, const std::vector<std::string>& args) {
  const auto* m = refl::findMethod(name);
  Console& c = session_.console();
  std::vector<refl::Value> values;
  for (size_t i = 0; i < args.size() && i < m->arguments.size(); ++i) {
    const auto& param = m->arguments[i];
    if (param.type == refl::Type::List) {
      values.emplace_back(static_cast<ListControl*>(&list(args[i])));
    } else {
      try {
        values.push_back(refl::fromText(param.type, args[i]));
      } catch (const refl::ValueError& e) {
        throw UsageError(name + " " + std::string(param.name) + ": " + e.what());
      }
    }
  }
  if (args.size() > m->arguments.size()) {
    throw UsageError(name + " takes " + std::to_string(m->arguments.size()) +
                     " argument(s): " + signature(*m));
  }
  const refl::Value result = onThread(
      name,
      [&](Morvand& controller) {
        c.begin(activityOf(name), name);
        try {
          refl::Value value = m->invoke(controller, values);
          c.end();
          return value;
        } catch (const refl::ValueError& e) {
          c.end();
          throw UsageError(std::string(e.what()) + " (" + signature(*m) + ")");
        } catch (const Unanswered&) {
          c.end();
          throw;
        } catch (const Interrupted&) {
          c.end();
          controller.CloseAllValves();
          controller.Halt();
          throw Failure(name + " aborted by the operator; valves closed, laser halted");
        } catch (const Error& e) {
          c.end();
          throw Failure(name + ": " + e.what());
        }
      },
      true);
  if (m->result != refl::Type::Void) c.line(name + " -> " + refl::toText(result));
  for (size_t i = 0; i < m->arguments.size(); ++i) {
    if (m->arguments[i].byReference) {
      c.line(std::string(m->arguments[i].name) + " = " + refl::toText(values[i]));
    }
  }
}

bool allowedWhileBusy(const std::vector<std::string>& words) {
  if (words.empty()) return false;
  for (const char* name : {"LaserStop", "LaserPause", "LaserRestart", "Halt"}) {
    if (words[0] == name) return true;  // with its arguments (LaserPause Disabled)
  }
  return words.size() == 1 && refl::findProperty(words[0]) != nullptr;
}

void Shell::typedWhileBusy(const std::string& running, const std::string& line,
                           std::vector<std::future<void>>& started) {
  AnswerChannel& answers = session_.answers();
  if (answers.waiting()) {
    answers.answer(line);
    return;
  }
  std::vector<std::string> words;
  try {
    words = splitWords(line);
  } catch (const UsageError& e) {
    std::cerr << "error: " << e.what() << '\n';
    return;
  }
  if (words.empty()) return;
  Console& c = session_.console();
  if (!allowedWhileBusy(words)) {
    c.line("busy: " + running +
           " is running; now only LaserStop, LaserPause, LaserRestart, Halt or a property "
           "name (Ctrl-C stops)");
    return;
  }
  const std::string name = words[0];
  std::vector<refl::Value> values;
  if (const auto* m = refl::findMethod(name)) {
    if (words.size() - 1 > m->arguments.size()) {
      std::cerr << "error: " << name << " takes " << m->arguments.size()
                << " argument(s): " << signature(*m) << '\n';
      return;
    }
    try {
      for (size_t i = 1; i < words.size(); ++i)
        values.push_back(refl::fromText(m->arguments[i - 1].type, words[i]));
    } catch (const refl::ValueError& e) {
      std::cerr << "error: " << name << ": " << e.what() << '\n';
      return;
    }
  }
  // At the running operation's next yield, as a host's own call would be.
  started.push_back(session_.thread().submit([name, values, &c](Morvand& controller) mutable {
    try {
      if (const auto* p = refl::findProperty(name)) {
        c.line(name + " = " + refl::toText(p->get(controller)));
        return;
      }
      const auto* m = refl::findMethod(name);
      const refl::Value result = m->invoke(controller, values);
      if (m->result != refl::Type::Void) c.line(name + " -> " + refl::toText(result));
    } catch (const std::exception& e) {
      std::cerr << "error: " << name << ": " << e.what() << '\n';
    }
  }));
}

void Shell::whileBusy(const std::string& running, const std::function<bool()>& done) {
#ifdef _WIN32
  (void)running;
  session_.serveUntil(done);
#else
  AnswerChannel& answers = session_.answers();
  std::vector<std::future<void>> started;  // calls typed meanwhile
  const auto finished = [&] {
    if (!done()) return false;
    for (auto& f : started) {
      if (!Session::ready(f, std::chrono::milliseconds(0))) return false;
    }
    return true;
  };
  std::string typed;  // what was typed since the last end of line
  bool endOfInput = false;
  int seen = interruptPresses();
  while (!finished()) {
    if (interruptPresses() != seen) {
      seen = interruptPresses();
      // Ctrl-C at a question gives no answer, as at a prompt of its own.
      answers.answer(std::nullopt);
      session_.wake();
    }
    if (endOfInput) {
      answers.answer(std::nullopt);
      poll(nullptr, 0, 20);
      continue;
    }
    // The terminal is in its line mode between two reads of the line editor: a line comes
    // whole, and the terminal echoes it.
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 20) <= 0) continue;  // nothing typed, or Ctrl-C
    char buffer[512];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      endOfInput = true;
      continue;
    }
    typed.append(buffer, static_cast<size_t>(n));
    // Typed ahead while the line editor still had the terminal, a line ends in a carriage
    // return.
    for (size_t end = typed.find_first_of("\r\n"); end != std::string::npos;
         end = typed.find_first_of("\r\n")) {
      const std::string line = typed.substr(0, end);
      const bool pair = typed[end] == '\r' && end + 1 < typed.size() && typed[end + 1] == '\n';
      typed.erase(0, end + (pair ? 2 : 1));
      typedWhileBusy(running, line, started);
    }
  }
#endif
}

void Shell::expect(const std::vector<std::string>& words) {
  if (words.size() != 4) throw UsageError("expect NAME OP VALUE");
  const auto* p = refl::findProperty(words[1]);
  if (p == nullptr) throw UsageError("no property named " + words[1]);
  const refl::Value actual = onThread(words[0], [p](Morvand& m) { return p->get(m); });
  const std::string& op = words[2];
  bool ok = false;
  if (p->type == refl::Type::String || p->type == refl::Type::Bool) {
    const refl::Value wanted = refl::fromText(p->type, words[3]);
    if (op == "==") {
      ok = actual == wanted;
    } else if (op == "!=") {
      ok = actual != wanted;
    } else {
      throw UsageError("compare " + words[1] + " with == or !=");
    }
  } else {
    double wanted = 0.0;
    try {
      wanted = asNumber(refl::fromText(refl::Type::Double, words[3]));
    } catch (const refl::ValueError& e) {
      throw UsageError(e.what());
    }
    const double a = asNumber(actual);
    if (op == "==") {
      ok = a == wanted;
    } else if (op == "!=") {
      ok = a != wanted;
    } else if (op == "<") {
      ok = a < wanted;
    } else if (op == "<=") {
      ok = a <= wanted;
    } else if (op == ">") {
      ok = a > wanted;
    } else if (op == ">=") {
      ok = a >= wanted;
    } else {
      throw UsageError("unknown comparison " + op + " (== != < <= > >=)");
    }
  }
  if (!ok) {
    throw Failure("expected " + words[1] + " " + op + " " + words[3] + ", it is " +
                  refl::toText(actual));
  }
  session_.console().line("ok: " + words[1] + " = " + refl::toText(actual));
}

bool Shell::execute(const std::string& line) {
  try {
    return run(splitWords(line));
  } catch (const refl::ValueError& e) {
    throw UsageError(e.what());
  }
}

bool Shell::run(const std::vector<std::string>& words) {
  if (words.empty()) return true;
  Console& c = session_.console();
  const std::string& head = words[0];
  if (head == "quit" || head == "exit") return false;
  if (head == "help") {
    help(words);
  } else if (head == "properties") {
    for (const auto& p : refl::properties()) {
      c.line(std::string(p.name) + " : " + std::string(refl::typeName(p.type)));
    }
  } else if (head == "methods") {
    for (const auto& m : refl::methods()) c.line(signature(m));
  } else if (head == "list" && words.size() == 2) {
    showList(words[1]);
  } else if (head == "select" && words.size() == 3) {
    const auto index = refl::fromText(refl::Type::Int16, words[2]);
    try {
      list(words[1]).SetListIndex(std::get<int16_t>(index));
    } catch (const ListError& e) {
      throw UsageError(e.what());
    }
    showList(words[1]);
  } else if (head == "limits") {
    const Limits l = onThread(head, [](Morvand& m) { return m.limits(); });
    c.line("RepRateMax " + std::to_string(l.RepRateMax) + ", RepRateMin " +
           std::to_string(l.RepRateMin) + " Hz; TempMax " + refl::toText(l.TempMax) +
           " C; PressMax " + refl::toText(l.PressMax) + " Torr; fill " +
           refl::toText(l.FillPressLow) + " to " + refl::toText(l.FillPressHigh) +
           " Torr; pump-out " + refl::toText(l.PumpoutTime) + " s");
  } else if (head == "expect") {
    expect(words);
  } else if (head == "echo") {
    std::string text;
    for (size_t i = 1; i < words.size(); ++i) text += (i > 1 ? " " : "") + words[i];
    c.line(text);
  } else if (const auto* p = refl::findProperty(head)) {
    std::optional<refl::Value> written;
    if (words.size() == 3 && words[1] == "=") {
      try {
        written = refl::fromText(p->type, words[2]);
      } catch (const refl::ValueError& e) {
        throw UsageError(head + ": " + e.what());
      }
    } else if (words.size() != 1) {
      throw UsageError("write a property as " + head + " = VALUE");
    }
    const refl::Value value = onThread(head, [&](Morvand& m) {
      if (written) {
        try {
          p->set(m, *written);
        } catch (const refl::ValueError& e) {
          throw UsageError(head + ": " + e.what());
        }
      }
      return p->get(m);
    });
    c.line(head + " = " + refl::toText(value));
  } else if (refl::findMethod(head) != nullptr) {
    call(head, std::vector<std::string>(words.begin() + 1, words.end()));
  } else {
    throw UsageError("unknown name " + head + " (help lists the commands)");
  }
  return true;
}

void runShell(Session& session) {
  Shell shell(session);
  session.startCard();
  Console& c = session.console();
  // A person at the terminal may stop a running operation by typing.
  shell.attend(isatty(STDIN_FILENO) != 0);
#ifdef MORVAND_HAVE_READLINE
  const bool lineEditing = isatty(STDIN_FILENO) != 0;
#else
  const bool lineEditing = false;  // a plain prompt: the terminal's own line editing only
#endif
  if (!lineEditing) {
    const bool prompt = isatty(STDIN_FILENO) != 0;
    if (prompt) c.line("morvand shell: help lists the commands, quit leaves");
    std::string line;
    while ((prompt ? std::cout << "morvand> " << std::flush : std::cout) &&
           std::getline(std::cin, line)) {
      try {
        if (!shell.execute(line)) break;
      } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << '\n';
      }
    }
    return;
  }
#ifdef MORVAND_HAVE_READLINE
  c.line("morvand shell: help lists the commands, Tab completes names, quit leaves");
  g_completing = &shell;
  rl_attempted_completion_function = completion;
  // Our own Ctrl-C handler stays in place; readline only hears that a read was interrupted.
  rl_catch_signals = 0;
  rl_signal_event_hook = onSignalAtPrompt;
  const char* home = std::getenv("HOME");
  const std::string historyFile = home != nullptr ? std::string(home) + "/.morvand_history" : "";
  if (!historyFile.empty()) read_history(historyFile.c_str());
  for (;;) {
    g_pressesAtPrompt = interruptPresses();
    char* raw = readline("morvand> ");
    if (raw == nullptr) {
      std::cout << '\n';
      break;
    }
    const std::string line(raw);
    std::free(raw);
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    try {
      if (!shell.execute(line)) break;
    } catch (const std::exception& e) {
      std::cerr << "error: " << e.what() << '\n';
    }
  }
  if (!historyFile.empty()) write_history(historyFile.c_str());
  g_completing = nullptr;
#endif
}

void runScript(Session& session, const std::string& file) {
  std::ifstream in(file);
  if (!in) throw Failure("cannot read the script " + file);
  Shell shell(session);
  session.startCard();
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string where = file + ":" + std::to_string(number) + ": ";
    try {
      if (!shell.execute(line)) return;
    } catch (const UsageError& e) {
      throw UsageError(where + e.what());
    } catch (const Failure& e) {
      throw Failure(where + e.what());
    }
  }
}

}  // namespace morvand::cli
