#pragma once
// A controller ready to fire on a scripted card, with the times of the run's texts and
// helpers that steer a run from the host's handlers.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/fixture.hpp"
#include "support/laser_readings.hpp"

namespace morvand::test {

/// Passes every event on to the recording host and notes when each text came and how many
/// driver calls had been made by then.
class TimedEvents : public Events {
 public:
  TimedEvents(RecordingHost& host, VirtualClock& clock, ScriptedCard& card)
      : host_(host), clock_(clock), card_(card) {}
  struct Text {
    double time;
    std::string text;
    size_t callsBefore;
  };
  std::vector<Text> texts;
  std::function<void(const std::string&)> onText;

  /// Time of the first text equal to text, -1 when none.
  double timeOf(const std::string& text, int nth = 1) const {
    for (const auto& t : texts) {
      if (t.text == text && --nth == 0) return t.time;
    }
    return -1.0;
  }
  /// Driver calls made before the first such text (all calls when none).
  size_t callsBefore(const std::string& text) const {
    for (const auto& t : texts) {
      if (t.text == text) return t.callsBefore;
    }
    return card_.calls().size();
  }

  void LaserMessenger(const std::string& text) override {
    texts.push_back({seconds(), text, card_.calls().size()});
    host_.LaserMessenger(text);
    if (onText) onText(text);
  }
  void Warmingup(float w, bool& c) override { host_.Warmingup(w, c); }
  void LaserRunning(int32_t n, float e) override { host_.LaserRunning(n, e); }
  void Measurements(float a, float b, float c, float d, float e) override {
    host_.Measurements(a, b, c, d, e);
  }
  void ValveStatus(int16_t s, const std::string& t) override { host_.ValveStatus(s, t); }
  void ExtRepRateRead(float r, const std::string& t) override { host_.ExtRepRateRead(r, t); }
  void PCIcardSelect(int16_t& i) override { host_.PCIcardSelect(i); }
  void ExtStartState(bool f) override { host_.ExtStartState(f); }
  void MotorSelect(int16_t mm, int16_t id) override { host_.MotorSelect(mm, id); }
  void MotorRpmRead(double r, float v, float v24) override { host_.MotorRpmRead(r, v, v24); }

  double seconds() const { return std::chrono::duration<double>(clock_.now()).count(); }

 private:
  RecordingHost& host_;
  VirtualClock& clock_;
  ScriptedCard& card_;
};

class RunTest : public ControllerTest {
 protected:
  /// The hooks may refer to a test's locals and the controller to timed: both go before the
  /// controller's destruction sequence runs.
  ~RunTest() override {
    card->onCall = nullptr;
    host.onYield = nullptr;
    host.onLaserRunning = nullptr;
    host.onBox = nullptr;
    timed.onText = nullptr;
    if (m_) m_->setEvents(&host);
  }

  /// A healthy laser on a card, model 5 with fluorine (PressMax 3100 Torr, TempMax 55 degC,
  /// RepRate 20 Hz), pop-ups off, continuous operation.
  Morvand& ready(const std::string& cardName = "PCI-1711") {
    Morvand& m = make();
    selectCard(cardName);
    healthyLaser(*card);
    m.setEvents(&timed);
    m.MaxNum = 50000000;
    return m;
  }

  /// Seconds since the run's first "Laser Running" (-1 before it).
  double firingTime() const {
    const double t = timed.timeOf("Laser Running");
    return t < 0.0 ? -1.0 : timed.seconds() - t;
  }

  /// Stops the run once it has fired for the given seconds.
  void stopAfter(Morvand& m, double seconds) {
    host.onLaserRunning = [this, &m, seconds](int32_t, float) {
      if (firingTime() >= seconds) m.LaserStop();
    };
  }

  /// Makes the counting counter count step pulses more at every read.
  void countOnRead(int16_t counter, uint32_t step) {
    card->onCall = [this, counter, step](const DriverCall& c) {
      if (c.op == Op::CounterEventRead && c.fields[0] == counter) {
        counted_ += step;
        card->setCount(counter, counted_);
      }
    };
  }

  /// Pressure and temperature averages filled with exactly these values; the run's own
  /// readings keep them.
  void settle(Morvand& m, float torr, float degC) {
    const auto volts = gaugeVoltsAveraging(torr);
    card->queueAnalog(0, {volts.begin(), volts.end()});
    card->setAnalog(0, volts[0]);
    card->setAnalog(4, sensorVolts(degC));
    for (int i = 0; i < 4; ++i) {
      m.PressMes();
      m.TempMes();
    }
    ASSERT_EQ(m.Pressure, torr);
  }

  /// The calls from the first one made at or after the text, keeping those with a prefix.
  std::vector<std::string> callsFrom(const std::string& text,
                                     const std::vector<std::string>& prefixes) const {
    const auto all = card->texts();
    std::vector<std::string> out;
    for (size_t i = timed.callsBefore(text); i < all.size(); ++i) {
      for (const auto& p : prefixes) {
        if (all[i].rfind(p, 0) == 0) {
          out.push_back(all[i]);
          break;
        }
      }
    }
    return out;
  }

  size_t countOf(const std::string& text) const {
    return static_cast<size_t>(std::count(host.messages.begin(), host.messages.end(), text));
  }

  TimedEvents timed{host, clock, *card};

 private:
  uint32_t counted_ = 0;
};

/// The fixed stop sequence as seen on the lines: enable off, generator reset (internal
/// trigger), charging voltage 0, control lines reset.
inline std::vector<std::string> stopLines(bool internalTrigger) {
  std::vector<std::string> v = {"DioWritePortByte(0, 128, 0)"};
  if (internalTrigger) v.push_back("CounterReset(0)");
  v.insert(v.end(),
           {"AOVoltageOut(0, 0)", "DioWritePortByte(0, 128, 0)", "DioWritePortByte(1, 128, 0)"});
  return v;
}
/// The enable line, the valve-port line 7, the generator and the charging voltage.
inline const std::vector<std::string> kStopPrefixes = {"DioWritePortByte(0, 128",
                                                       "DioWritePortByte(1, 128", "CounterReset",
                                                       "AOVoltageOut(0", "CounterPulseStart"};

}  // namespace morvand::test
