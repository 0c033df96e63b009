// Motor speed from the tachometer on each card model.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "support/fixture.hpp"

namespace morvand::test {
namespace {

class MotorSpeedTest : public ControllerTest {
 protected:
  Morvand& start(const std::string& cardName) {
    dir.write(5, 2);
    make();
    selectCard(cardName);
    m_->VoltMotorOld = 0.5f;
    card->setAnalog(6, 2.0f);  // monitor: 2 V x 5.25 = 10.5
    return *m_;
  }
  double seconds() { return std::chrono::duration<double>(clock.now()).count(); }
  /// Drives the tachometer bit of both input ports as a square wave of the period, s.
  void spin(double period) {
    host.onYield = [this, period] {
      const double phase = std::fmod(seconds(), period) / period;
      const int16_t level = phase < 0.5 ? 0x10 : 0;
      card->setPortIn(0, level);
      card->setPortIn(1, level);
    };
  }
};

TEST_F(MotorSpeedTest, WithoutACardTheSpeedIsUnknown) {
  dir.write(5, 2);
  Morvand& m = make();
  EXPECT_EQ(m.MotorRpmMes(), -1.0);
  EXPECT_TRUE(host.events.empty());
  EXPECT_TRUE(card->calls().empty());
}

TEST_F(MotorSpeedTest, ATachometerPeriodOnThe1711GivesTheSpeedOfOneRevolution) {
  Morvand& m = start("PCI-1711");
  spin(0.05);  // 20 revolutions per second
  const double rpm = m.MotorRpmMes();
  EXPECT_NEAR(rpm, 1200.0, 30.0);
  EXPECT_EQ(rpm, std::round(rpm));
  EXPECT_EQ(m.MotorRPM, rpm);
  const Strings reads = host.eventsNamed("MotorRpmRead");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0], "MotorRpmRead(" + std::to_string(static_cast<int>(rpm)) + ", 0.5, 10.5)");
  EXPECT_EQ(m.MotorCT, 1);  // one measurement started
  // The inputs are read from the 1711's input port.
  EXPECT_EQ(firstOf(card->texts(Op::DioReadPortByte)), "DioReadPortByte(0)");
}

TEST_F(MotorSpeedTest, NoTachometerPulsesWithinHalfASecondReadAsStandstill) {
  for (const std::string name : {"PCI-1711", "PCI-1710"}) {
    SCOPED_TRACE(name);
    freshCard();
    Morvand& m = start(name);
    host.events.clear();
    m.MotorRPM = 999.0;
    const double t0 = seconds();
    EXPECT_EQ(m.MotorRpmMes(), 0.0);
    const double waited = seconds() - t0;
    EXPECT_GT(waited, 0.5);
    EXPECT_LT(waited, 0.51);
    EXPECT_EQ(host.events, (Strings{"MotorRpmRead(0, 0.5, 10.5)"}));
  }
}

TEST_F(MotorSpeedTest, ASpeedBelowOnePeriodPerWindowReadsAsStandstill) {
  Morvand& m = start("PCI-1711");
  spin(0.8);  // one rising edge at most within the 0.5 s window
  EXPECT_EQ(m.MotorRpmMes(), 0.0);
  EXPECT_EQ(host.eventsNamed("MotorRpmRead"), (Strings{"MotorRpmRead(0, 0.5, 10.5)"}));
}

TEST_F(MotorSpeedTest, The1712CountsOnCounterOneBetweenTwoCalls) {
  Morvand& m = start("PCI-1712");
  EXPECT_EQ(m.MotorRpmMes(), 0.0);  // only starts counting
  EXPECT_EQ(card->texts(), (Strings{"CounterEventStart(1, 0)"}));
  EXPECT_TRUE(host.events.empty());
  clock.advance(std::chrono::seconds(2));
  card->setCount(1, 100);
  EXPECT_DOUBLE_EQ(m.MotorRpmMes(), 3000.0);  // 100 counts in 2 s
  EXPECT_EQ(host.eventsNamed("MotorRpmRead"), (Strings{"MotorRpmRead(3000, 0.5, 10.5)"}));
  EXPECT_EQ(m.MotorCount, 100);
  EXPECT_EQ(m.MotorCT, 100);
  clock.advance(std::chrono::seconds(1));
  card->setCount(1, 150);
  EXPECT_DOUBLE_EQ(m.MotorRpmMes(), 3000.0);  // 50 more in 1 s
  EXPECT_EQ(host.eventsNamed("MotorRpmRead").size(), 2u);
}

TEST_F(MotorSpeedTest, TwoCallsInOneClockReadingOnThe1712KeepTheLastSpeed) {
  Morvand& m = start("PCI-1712");
  m.MotorRpmMes();
  clock.advance(std::chrono::seconds(2));
  card->setCount(1, 100);
  m.MotorRpmMes();
  host.events.clear();
  card->clearCalls();
  card->setCount(1, 200);
  EXPECT_DOUBLE_EQ(m.MotorRpmMes(), 3000.0);
  EXPECT_TRUE(host.events.empty());
  EXPECT_TRUE(card->calls().empty());
}

TEST_F(MotorSpeedTest, The1712RestartsCounterOneAfterAMillionCounts) {
  Morvand& m = start("PCI-1712");
  m.MotorRpmMes();
  clock.advance(std::chrono::seconds(1));
  card->setCount(1, 1000001);
  card->clearCalls();
  EXPECT_DOUBLE_EQ(m.MotorRpmMes(), 60000060.0);
  EXPECT_EQ(card->texts(Op::CounterEventStart), (Strings{"CounterEventStart(1, 0)"}));
  EXPECT_EQ(m.MotorCT, 0);
}

}  // namespace
}  // namespace morvand::test
