// The controller on its own thread: calls from other threads reach a running operation at its
// next yield, handlers call in directly, questions wait for an answer from another thread,
// closing writes the settings (also when asked from inside a handler), and a waiting
// controller wakes for a submitted call. The simulated laser runs as fast as possible.

#include "morvand/controller_thread.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "morvand/sim/backend.hpp"
#include "support/fixture.hpp"

namespace morvand {
namespace {

using std::chrono::seconds;

/// Test events from lambdas.
struct Sink : Events {
  std::function<void(int32_t, float)> running;
  std::function<void(const std::string&)> message;
  std::function<void()> destroyed;
  ~Sink() override {
    if (destroyed) destroyed();
  }
  void LaserRunning(int32_t n, float e) override {
    if (running) running(n, e);
  }
  void LaserMessenger(const std::string& text) override {
    if (message) message(text);
  }
  void Warmingup(float, bool& Cancel) override { Cancel = true; }
};

sim::LaserPlant& plantOf(Morvand&, ControllerThread& ct) {
  return *dynamic_cast<sim::SimBackend&>(ct.backend()).simulation().plant;
}

class ControllerThreadTest : public ::testing::Test {
 protected:
  ControllerThreadTest() { dir.write(5, 3, 1000, 500, 25.0f); }
  std::unique_ptr<ControllerThread> open() {
    ControllerOptions o;
    o.card = "sim:1711";
    o.directory = dir.path().string();
    return std::make_unique<ControllerThread>(o);
  }
  /// Opens the card and lets a first status poll end its warm-up at once (the sink cancels).
  void prepare(ControllerThread& ct, const std::shared_ptr<Sink>& sink) {
    ct.subscribe(sink);
    ct.call([](Morvand& m) {
      ASSERT_TRUE(m.StandardCard());
      m.MorvandStatus(false);
      m.RepRate = 50;
      m.MaxNum = 50000000;
    });
  }
  test::SettingsDir dir;
};

TEST_F(ControllerThreadTest, LaserStopFromAnotherThreadEndsTheRunWithinOnePassAndLeavesItSafe) {
  auto ct = open();
  auto sink = std::make_shared<Sink>();
  prepare(*ct, sink);
  std::atomic<int> passes{0};
  std::promise<void> firing;
  sink->running = [&](int32_t, float) {
    if (passes++ == 0) firing.set_value();
  };
  auto run = ct->submit([](Morvand& m) { m.LaserRun(0); });
  firing.get_future().wait();
  int passesAtStop = -1;
  auto stop = ct->submit([&](Morvand& m) {
    passesAtStop = passes;
    m.LaserStop();
  });
  ASSERT_EQ(run.wait_for(seconds(20)), std::future_status::ready);
  run.get();
  stop.get();
  ASSERT_GE(passesAtStop, 1);
  EXPECT_LE(passes - passesAtStop, 1);
  EXPECT_FALSE(ct->call([&](Morvand& m) { return plantOf(m, *ct).enableLine(); }));
}

TEST_F(ControllerThreadTest, IdleCallsRunInOrderAndAHandlerCallsInDirectly) {
  auto ct = open();
  auto sink = std::make_shared<Sink>();
  prepare(*ct, sink);
  std::vector<int> order;
  std::vector<std::future<void>> calls;
  for (int i = 0; i < 20; ++i)
    calls.push_back(ct->submit([&order, i](Morvand&) { order.push_back(i); }));
  for (auto& c : calls) c.get();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);

  // From a handler the call runs before submit returns, and may stop the run itself.
  bool readyAtOnce = false;
  bool onThread = false;
  sink->running = [&](int32_t n, float) {
    if (n < 100) return;
    onThread = ct->onControllerThread();
    auto f = ct->submit([](Morvand& m) { m.LaserStop(); });
    readyAtOnce = f.wait_for(seconds(0)) == std::future_status::ready;
  };
  ct->call([](Morvand& m) { m.LaserRun(0); });
  EXPECT_TRUE(onThread);
  EXPECT_TRUE(readyAtOnce);
  EXPECT_FALSE(ct->onControllerThread());

  // An exception from a handler ends the run and reaches the caller.
  sink->running = [](int32_t, float) { throw std::runtime_error("host failed"); };
  EXPECT_THROW(ct->call([](Morvand& m) { m.LaserRun(0); }), std::runtime_error);
  sink->running = nullptr;
  EXPECT_FALSE(ct->call([&](Morvand& m) { return plantOf(m, *ct).enableLine(); }));
}

TEST_F(ControllerThreadTest, QuestionsWaitForAnAnswerFromAnotherThreadOrGetTheUnattendedOne) {
  EXPECT_EQ(unattendedAnswer(0), kAnswerOk);
  EXPECT_EQ(unattendedAnswer(64), kAnswerOk);
  EXPECT_EQ(unattendedAnswer(1), kAnswerCancel);
  EXPECT_EQ(unattendedAnswer(3 + 48), kAnswerNo);
  EXPECT_EQ(unattendedAnswer(4 + 32), kAnswerNo);

  auto ct = open();
  // Unattended, the prompt is cancelled and the rate stays.
  EXPECT_FALSE(ct->call([](Morvand& m) {
    m.RepRate = 30;
    return m.ReprateSet();
  }));
  EXPECT_EQ(ct->call([](Morvand& m) { return m.RepRate; }), 30);

  struct Relay : QuestionHandler {
    std::promise<std::string> asked;
    std::promise<std::string> answer;
    int16_t messageBox(const std::string&, int16_t, const std::string&) override { return 1; }
    std::string inputBox(const std::string& prompt, const std::string& title,
                         const std::string&) override {
      asked.set_value(title + ": " + prompt);
      return answer.get_future().get();  // blocks the controller until the answer comes
    }
  };
  auto relay = std::make_shared<Relay>();
  ct->setQuestionHandler(relay);
  auto result = ct->submit([](Morvand& m) { return m.ReprateSet(); });
  const std::string question = relay->asked.get_future().get();
  EXPECT_EQ(question.rfind("SET REP RATE: ENTER REPETITION RATE", 0), 0u) << question;
  relay->answer.set_value("40");
  EXPECT_TRUE(result.get());
  EXPECT_EQ(ct->call([](Morvand& m) { return m.RepRate; }), 40);
}

TEST_F(ControllerThreadTest, EachControllerKeepsItsOwnSettingsDirectoryAndWritesItOnClose) {
  test::SettingsDir other;  // now the current directory
  other.write(10, 1, 7, 3, 25.0f);
  ControllerOptions o;
  o.directory = other.path().string();
  ControllerThread second(o);
  auto first = open();
  EXPECT_EQ(first->call([](Morvand& m) { return m.LaserTypeFlag; }), 5);
  EXPECT_EQ(second.call([](Morvand& m) { return m.LaserTypeFlag; }), 10);
  first->call([](Morvand& m) { m.CumTotalPulses = 4242; });
  second.call([](Morvand& m) { m.CumTotalPulses = 99; });
  first->close();
  EXPECT_EQ(dir.read("Counter"), "4242,500\r\n");
  EXPECT_TRUE(first->closing());
  EXPECT_THROW(first->call([](Morvand&) {}), ClosedError);
  second.close();
  EXPECT_EQ(other.read("Counter"), "99,3\r\n");

  ControllerOptions missing;
  missing.directory = (dir.path() / "nowhere").string();
  EXPECT_THROW(ControllerThread{missing}, SettingsError);
  missing.card = "nocard:1";
  EXPECT_THROW(ControllerThread{missing}, BackendError);
}

TEST_F(ControllerThreadTest, DestroyedFromItsOwnHandlerItClosesAfterTheRunReturned) {
  auto ct = open();
  auto sink = std::make_shared<Sink>();
  prepare(*ct, sink);
  std::promise<void> gone;
  sink->destroyed = [&] { gone.set_value(); };
  bool runReturned = false;
  sink->running = [&](int32_t n, float) {
    if (n >= 200 && ct) ct.reset();  // the destructor runs inside the run's handler
  };
  auto run = ct->submit([&](Morvand& m) {
    m.LaserRun(0);
    runReturned = true;  // the controller is still alive here
  });
  sink.reset();  // the thread holds the last reference now
  ASSERT_EQ(run.wait_for(seconds(20)), std::future_status::ready);
  run.get();
  EXPECT_TRUE(runReturned);
  ASSERT_EQ(gone.get_future().wait_for(seconds(20)), std::future_status::ready);
  const std::string counter = dir.read("Counter");
  EXPECT_NE(counter, "1000,500\r\n") << "the run's pulses were written back";
}

TEST_F(ControllerThreadTest, TheYieldHookRunsOnTheThreadAndItsExceptionEndsTheOperation) {
  ControllerOptions o;
  o.card = "sim:1711";
  o.directory = dir.path().string();
  std::atomic<int> yields{0};
  std::atomic<bool> offThread{false};
  std::atomic<bool> fail{false};
  std::unique_ptr<ControllerThread> ct;
  o.onYield = [&] {
    ++yields;
    if (ct && !ct->onControllerThread()) offThread = true;
    if (fail) throw std::runtime_error("host gave up");
  };
  ct = std::make_unique<ControllerThread>(o);
  auto sink = std::make_shared<Sink>();
  prepare(*ct, sink);
  sink->running = [&](int32_t n, float) {
    if (n >= 20) fail = true;
  };
  EXPECT_THROW(ct->call([](Morvand& m) { m.LaserRun(0); }), std::runtime_error);
  EXPECT_GT(yields.load(), 0);
  EXPECT_FALSE(offThread.load());
  // The failed yield left the laser safe, and the thread serves the next call.
  fail = false;
  EXPECT_FALSE(ct->call([&](Morvand& m) { return plantOf(m, *ct).enableLine(); }));
  // The destruction sequence runs to its end even when the hook throws.
  ct->call([](Morvand& m) { m.CumTotalPulses = 4242; });
  fail = true;
  ct.reset();
  EXPECT_EQ(dir.read("Counter").substr(0, 5), "4242,");
}

/// A back end without a card whose clock moves only when a call moves it: a wait on it ends
/// only by a submitted call.
struct StillBackend : Backend {
  VirtualClock clock_;
  std::shared_ptr<CardDriver> driver() override { return nullptr; }
  Clock& clock() override { return clock_; }
};

TEST_F(ControllerThreadTest, AWaitingControllerWakesForASubmittedCall) {
  registerBackend({"still:",
                   [](const std::string&, const BackendOptions&) -> std::unique_ptr<Backend> {
                     return std::make_unique<StillBackend>();
                   },
                   "a clock that stands still"});
  ControllerOptions o;
  o.card = "still:";
  o.directory = dir.path().string();
  ControllerThread ct(o);
  std::promise<void> waiting;
  auto wait = ct.submit([&](Morvand& m) {
    waiting.set_value();
    m.Waiting(3600.0);
  });
  waiting.get_future().wait();
  // The wait has an hour to go on a clock that stands still: only the wake-up runs this.
  auto inside = ct.submit([&](Morvand&) {
    static_cast<StillBackend&>(ct.backend()).clock_.advance(std::chrono::hours(2));
  });
  ASSERT_EQ(inside.wait_for(seconds(20)), std::future_status::ready);
  ASSERT_EQ(wait.wait_for(seconds(20)), std::future_status::ready);
  wait.get();
}

}  // namespace
}  // namespace morvand
