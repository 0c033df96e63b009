// The console's host without a terminal: who answers questions, what Ctrl-C does to a
// running operation, and how shell lines and valve patterns are read.

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <iostream>
#include <optional>
#include <sstream>
#include <thread>

#include "commands.hpp"
#include "console.hpp"
#include "shell.hpp"
#include "support/fixture.hpp"

namespace morvand::cli {
namespace {

constexpr int16_t kYesNoCancel = 3;
constexpr int16_t kYesNoWarning = 52;

struct ConsoleFixture : ::testing::Test {
  Console make(Answers answers, bool interactive) {
    Console::Options o;
    o.answers = answers;
    o.interactive = interactive;
    o.out = &out;
    return Console(o, clock);
  }
  std::ostringstream out;
  VirtualClock clock;
};

// Feeds standard input for the length of a test.
class Typed {
 public:
  explicit Typed(const std::string& text) : in_(text), old_(std::cin.rdbuf(in_.rdbuf())) {}
  ~Typed() {
    std::cin.rdbuf(old_);
    std::cin.clear();
  }

 private:
  std::istringstream in_;
  std::streambuf* old_;
};

TEST_F(ConsoleFixture, AQuestionIsAnsweredYesOnlyWhenYesWasGiven) {
  Console yes = make(Answers::Yes, false);
  EXPECT_EQ(yes.messageBox("HV?", kYesNoCancel, "HAZARD"), kAnswerYes);
  Console no = make(Answers::No, true);
  EXPECT_EQ(no.messageBox("HV?", kYesNoCancel, "HAZARD"), kAnswerNo);
  EXPECT_TRUE(no.declined());
  // Nobody to ask: No, never a silent Yes.
  Console unattended = make(Answers::Ask, false);
  EXPECT_EQ(unattended.messageBox("GO ON?", kYesNoWarning, "LOW"), kAnswerNo);
  EXPECT_EQ(unattended.lastProblem(), "answered No to LOW");
  EXPECT_NE(out.str().find("give --yes"), std::string::npos);
}

TEST_F(ConsoleFixture, AnOkBoxIsShownWithoutAskingAndKeptAsTheReason) {
  Console c = make(Answers::No, true);
  EXPECT_EQ(c.messageBox("PUMP OUT FAILURE", 16, "PUMP TIME OUT FAILURE"), kAnswerOk);
  EXPECT_FALSE(c.declined());
  EXPECT_TRUE(c.stopped());
  c.LaserMessenger("Laser Operation Stopped");
  // A later plain message does not hide the box that said why.
  EXPECT_EQ(c.lastProblem(), "PUMP TIME OUT FAILURE: PUMP OUT FAILURE");
  EXPECT_NE(out.str().find("STOP PUMP TIME OUT FAILURE: PUMP OUT FAILURE"), std::string::npos);
  c.begin(Activity::Gas, "refill");
  EXPECT_FALSE(c.stopped());
  EXPECT_EQ(c.lastProblem(), "");
}

TEST_F(ConsoleFixture, APersonAnswersUntilTheAnswerFitsTheButtons) {
  Console c = make(Answers::Ask, true);
  {
    Typed t("maybe\nc\nyes\n");  // Cancel is not offered on a Yes/No box
    EXPECT_EQ(c.messageBox("GO ON?", kYesNoWarning, "LOW"), kAnswerYes);
  }
  {
    Typed t("C\n");
    EXPECT_EQ(c.messageBox("HV?", kYesNoCancel, "HAZARD"), kAnswerCancel);
  }
  {
    Typed t("");  // end of input: the safe answer
    EXPECT_EQ(c.messageBox("HV?", kYesNoCancel, "HAZARD"), kAnswerCancel);
  }
  {
    Typed t("\n7.5\n");
    EXPECT_EQ(c.inputBox("KV?", "INPUT", "5"), "5");  // an empty line keeps the default
    EXPECT_EQ(c.inputBox("KV?", "INPUT", "5"), "7.5");
  }
}

TEST_F(ConsoleFixture, AQuestionOnAnotherThreadWaitsForTheLineTheTerminalReaderHandsOver) {
  Console c = make(Answers::Ask, true);
  AnswerChannel channel;
  c.answerThrough(&channel);
  // Standard input is not read by the asking thread: its line here would be a wrong answer.
  Typed t("y\ny\n");
  const auto answerWhenAsked = [&](std::optional<std::string> text) {
    while (!channel.waiting()) std::this_thread::yield();
    channel.answer(std::move(text));
  };
  {
    auto box =
        std::async(std::launch::async, [&] { return c.messageBox("HV?", kYesNoCancel, "HAZARD"); });
    answerWhenAsked("maybe");  // not a button: asked again
    answerWhenAsked("n");
    EXPECT_EQ(box.get(), kAnswerNo);
  }
  {
    // Ctrl-C or the end of input at the question: the safe answer.
    auto box =
        std::async(std::launch::async, [&] { return c.messageBox("HV?", kYesNoCancel, "HAZARD"); });
    answerWhenAsked(std::nullopt);
    EXPECT_EQ(box.get(), kAnswerCancel);
  }
  {
    auto prompt = std::async(std::launch::async, [&] { return c.inputBox("KV?", "INPUT", "5"); });
    answerWhenAsked("7.5");
    EXPECT_EQ(prompt.get(), "7.5");
  }
  EXPECT_FALSE(channel.waiting());
  channel.answer("stray");  // nobody asks: dropped, not kept for the next question
  c.answerThrough(nullptr);
  EXPECT_EQ(c.messageBox("HV?", kYesNoCancel, "HAZARD"), kAnswerYes);  // standard input again
  EXPECT_NE(out.str().find("[Y]es/[N]o/[C]ancel? "), std::string::npos);
}

TEST(ShellWhileBusy, OnlyStopsAndPropertyReadsAreTakenWhileAnOperationRuns) {
  const std::vector<std::pair<std::vector<std::string>, bool>> cases{
      {{"LaserStop"}, true},
      {{"LaserPause"}, true},
      {{"LaserRestart"}, true},
      {{"Halt"}, true},
      {{"PulseNum"}, true},
      {{"Pressure"}, true},
      {{"RepRate", "=", "5"}, false},
      {{"LaserRun", "0"}, false},
      {{"GasAutoRefill"}, false},
      {{"quit"}, false},
      {{"LaserPause", "True"}, true},
      {{"PulseNum", "=", "3"}, false},
      {{"expect", "PulseNum", ">", "0"}, false},
      {{"laserstop"}, false},
  };
  for (const auto& [words, allowed] : cases) {
    EXPECT_EQ(allowedWhileBusy(words), allowed) << words[0];
  }
}

TEST_F(ConsoleFixture, PromptsTakeTheirDefaultWhenNobodyIsAsked) {
  Console c = make(Answers::No, true);
  EXPECT_EQ(c.inputBox("SET MAXIMUM", "MAX PULSES", "100"), "100");
  Console unattended = make(Answers::Ask, false);
  EXPECT_EQ(unattended.inputBox("KV?", "INPUT", "5"), "5");
}

TEST_F(ConsoleFixture, APromptRefusedWithNobodyToAnswerIsCancelledThenGivenUp) {
  for (Answers answers : {Answers::Ask, Answers::Yes}) {
    Console c = make(answers, false);
    EXPECT_EQ(c.inputBox("RATE?", "SET REP RATE", "1"), "1");
    // Straight back (no yield): the offered answer was refused.
    EXPECT_EQ(c.inputBox("RATE?", "SET REP RATE", "1"), "");
    EXPECT_THROW(c.inputBox("RATE?", "SET REP RATE", "1"), Unanswered);
    // After a yield the same prompt is a new question.
    c.yield();
    EXPECT_EQ(c.inputBox("RATE?", "SET REP RATE", "1"), "1");
    EXPECT_EQ(c.inputBox("KV?", "INPUT", "5"), "5");
  }
  EXPECT_NE(out.str().find("-> cancelled (1 was refused and nobody can answer)"),
            std::string::npos);
}

TEST(UnattendedPrompts, ACommandWhoseBudgetIsRefusedEndsInsteadOfAskingForEver) {
  // MaxNumSet refuses both the offered budget and a cancel; ReprateSet takes the cancel.
  test::SettingsDir dir;
  VirtualClock clock;
  std::ostringstream out;
  Console console(Console::Options{Answers::Ask, false, false, &out, {}}, clock);
  auto card = std::make_shared<test::ScriptedCard>();
  CardContext::current().reset();
  CardContext::current().setDriver(card);
  {
    Morvand m(console, &console, &clock);
    card->addDevice("PCI-1711");
    ASSERT_TRUE(m.StandardCard());
    m.PopupMessage = true;
    m.MaxNum = 20000000;
    EXPECT_THROW(m.MaxNumSet(), Unanswered);
    m.RepRate = 1;
    EXPECT_FALSE(m.ReprateSet());
    EXPECT_EQ(m.RepRate, 1);
  }
  CardContext::current().reset();
}

class Interrupts : public test::ControllerTest {
 protected:
  Interrupts() { installInterruptHandler(); }
  Console console{Console::Options{Answers::No, false, false, &out, {}}, clock};
  std::ostringstream out;
};

TEST_F(Interrupts, CtrlCStopsARunAndASecondHaltsIt) {
  Morvand& m = make();
  selectCard();
  console.attach(&m);
  console.begin(Activity::Run, "run");
  m.flag2 = 0;
  std::raise(SIGINT);
  console.yield();
  EXPECT_EQ(m.flag2, 1);
  EXPECT_TRUE(card->calls().empty()) << "the stop itself leaves the lines to the run loop";
  console.yield();  // no new press, nothing more happens
  EXPECT_TRUE(card->calls().empty());
  std::raise(SIGINT);
  console.yield();
  EXPECT_FALSE(card->calls().empty()) << "the halt switches the laser off at once";
  console.end();
}

TEST_F(Interrupts, AProcedureWithoutAStopIsAbortedOnlyOnTheSecondPress) {
  console.begin(Activity::Gas, "refill");
  std::raise(SIGINT);
  EXPECT_NO_THROW(console.yield());
  EXPECT_NE(out.str().find("press again"), std::string::npos);
  std::raise(SIGINT);
  EXPECT_THROW(console.yield(), Interrupted);
  console.end();
}

TEST_F(Interrupts, CtrlCCancelsAWarmupThroughItsEvent) {
  console.begin(Activity::Warmup, "warm-up");
  bool cancel = false;
  console.Warmingup(100.0f, cancel);
  EXPECT_FALSE(cancel);
  std::raise(SIGINT);
  console.yield();
  console.Warmingup(99.0f, cancel);
  EXPECT_TRUE(cancel);
  console.end();
  // A new activity starts with no press counted.
  console.begin(Activity::Warmup, "warm-up");
  cancel = false;
  console.yield();
  console.Warmingup(50.0f, cancel);
  EXPECT_FALSE(cancel);
  console.end();
}

TEST(ShellWords, QuotesCommentsAndAssignmentsAreRead) {
  EXPECT_EQ(splitWords("TestStr \"PCI-1711 card\" 1711"),
            (std::vector<std::string>{"TestStr", "PCI-1711 card", "1711"}));
  EXPECT_EQ(splitWords("RepRate=50"), (std::vector<std::string>{"RepRate", "=", "50"}));
  EXPECT_EQ(splitWords("  RepRate   =  50  # rate "),
            (std::vector<std::string>{"RepRate", "=", "50"}));
  EXPECT_EQ(splitWords("echo \"say \\\"hi\\\" # not a comment\""),
            (std::vector<std::string>{"echo", "say \"hi\" # not a comment"}));
  EXPECT_EQ(splitWords("GasText1 = \"\""), (std::vector<std::string>{"GasText1", "=", ""}));
  EXPECT_EQ(splitWords("expect Pressure >= 2000"),
            (std::vector<std::string>{"expect", "Pressure", ">=", "2000"}));
  EXPECT_TRUE(splitWords("# only a comment").empty());
  EXPECT_THROW(splitWords("echo \"open"), UsageError);
}

TEST(ValvePatterns, DecimalHexAndBinaryUpTo255) {
  EXPECT_EQ(parseValvePattern("25"), std::optional<int16_t>(25));
  EXPECT_EQ(parseValvePattern("0x19"), std::optional<int16_t>(25));
  EXPECT_EQ(parseValvePattern("0b11001"), std::optional<int16_t>(25));
  EXPECT_EQ(parseValvePattern("255"), std::optional<int16_t>(255));
  EXPECT_EQ(parseValvePattern("close"), std::nullopt);
  for (const char* bad : {"256", "0x100", "0b2", "0x", "-1", "12a", "", "open"}) {
    EXPECT_THROW(parseValvePattern(bad), UsageError) << bad;
  }
}

}  // namespace
}  // namespace morvand::cli
