// The property and method tables: every entry reaches its own field or method, values
// convert to and from text at their range boundaries, and calls are checked before they
// reach the controller.

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "morvand/reflection.hpp"
#include "support/fixture.hpp"

namespace morvand::test {
namespace {

using reflection::fromText;
using reflection::toText;
using reflection::Type;
using reflection::Value;
using reflection::ValueError;

// A value of type t that differs for every index i, so two entries wired to one field show.
Value distinctValue(Type t, int i) {
  switch (t) {
    case Type::Bool:
      return Value{i % 2 == 0};
    case Type::Int16:
      return Value{std::in_place_type<int16_t>, static_cast<int16_t>(1000 + i)};
    case Type::Int32:
      return Value{std::in_place_type<int32_t>, 70000 + i};
    case Type::Single:
      return Value{std::in_place_type<float>, 0.5f + static_cast<float>(i)};
    case Type::Double:
      return Value{std::in_place_type<double>, 0.25 + i};
    case Type::String:
      return Value{std::in_place_type<std::string>, "text " + std::to_string(i)};
    default:
      return Value{};
  }
}

TEST(PropertyTable, EveryPropertyKeepsItsOwnValueWhenAllAreWritten) {
  Properties p;
  const auto props = reflection::properties();
  ASSERT_EQ(props.size(), 87u);
  for (size_t i = 0; i < props.size(); ++i) {
    props[i].set(p, distinctValue(props[i].type, static_cast<int>(i)));
  }
  for (size_t i = 0; i < props.size(); ++i) {
    EXPECT_EQ(props[i].get(p), distinctValue(props[i].type, static_cast<int>(i))) << props[i].name;
  }
  // Booleans have only two values: raise one at a time, so a Boolean entry wired to another
  // Boolean's field shows too.
  for (const auto& raised : props) {
    if (raised.type != Type::Bool) continue;
    for (const auto& q : props) {
      if (q.type == Type::Bool) q.set(p, Value{false});
    }
    raised.set(p, Value{true});
    for (const auto& q : props) {
      if (q.type == Type::Bool) {
        EXPECT_EQ(q.get(p), Value{&q == &raised})
            << raised.name << " raised, " << q.name << " read";
      }
    }
  }
}

TEST(PropertyTable, NamesReachTheFieldsOfTheSameName) {
  Properties p;
  reflection::findProperty("RepRate")->set(p, Value{std::in_place_type<int32_t>, 250});
  reflection::findProperty("flag2")->set(p, Value{std::in_place_type<int16_t>, int16_t{1}});
  reflection::findProperty("CountPeriod")->set(p, Value{2.5});
  reflection::findProperty("GasText1")->set(p, Value{std::string("premix")});
  reflection::findProperty("PopupMessage")->set(p, Value{true});
  EXPECT_EQ(p.RepRate, 250);
  EXPECT_EQ(p.flag2, 1);
  EXPECT_EQ(p.CountPeriod, 2.5);
  EXPECT_EQ(p.GasText1, "premix");
  EXPECT_TRUE(p.PopupMessage);
  p.TempSet = 21.5f;
  EXPECT_EQ(toText(reflection::findProperty("TempSet")->get(p)), "21.5");
}

TEST(PropertyTable, AValueOfTheWrongTypeIsRefusedAndTheFieldKept) {
  Properties p;
  p.RepRate = 100;
  const auto* rate = reflection::findProperty("RepRate");
  EXPECT_THROW(rate->set(p, Value{std::in_place_type<int16_t>, int16_t{5}}), ValueError);
  EXPECT_THROW(rate->set(p, Value{std::string("200")}), ValueError);
  EXPECT_EQ(p.RepRate, 100);
}

TEST(Tables, NamesAreUniqueCaseSensitiveAndPropertiesAndMethodsDoNotShareOne) {
  std::set<std::string> names;
  for (const auto& p : reflection::properties())
    EXPECT_TRUE(names.insert(std::string(p.name)).second) << p.name;
  EXPECT_EQ(reflection::methods().size(), 110u);
  for (const auto& m : reflection::methods())
    EXPECT_TRUE(names.insert(std::string(m.name)).second) << m.name;
  EXPECT_EQ(reflection::findProperty("reprate"), nullptr);
  EXPECT_EQ(reflection::findMethod("Status"), nullptr);
  EXPECT_NE(reflection::findMethod("status"), nullptr);
  EXPECT_EQ(reflection::findMethod("NoSuchMethod"), nullptr);
}

// The interface's slot order: hosts bound to an earlier build address entries by position.
TEST(Tables, PropertiesAndMethodsKeepTheirSlotOrderAndTypes) {
  const std::string properties =
      "B:ListDeviceFlag I:LaserStatus S:LaserMessage I:ValveState S:ValveString F:Energy "
      "F:ExtEnergy F:SetEnergy F:Pressure F:HVoltage L:RepRate L:RepRateOld L:RepRateTest "
      "L:RepRateMV L:RepRate0 L:MaxNum I:mode I:state F:VoltSet L:PulseNum L:CounterTotal "
      "L:CumTotalPulses L:PulsesThisFill L:Punits F:temp F:Sigma F:ExtSigma F:TempSet I:flag2 "
      "I:ChMode I:ChModeOld I:TrigMode I:LaserTypeFlag I:GasFlag F:EoffSet F:EoffSet0 "
      "F:MaxEnergyVal F:ThyTime F:HiVoltMax F:HiVoltMin I:Fanmode I:PCIcard F:ExtRepRate "
      "L:ExtRepRate0 L:ExtRepRate1 L:ExtRepRate2 B:CountDisabled D:CountPeriod S:GasText1 "
      "S:GasText2 S:PanelText1 S:PanelText2 F:HighEnergy F:LowEnergy I:mmode B:AutoMotor "
      "B:ThyState I:ThyStandby I:ThyStandby0 B:PowerOK B:InterlockActive B:LaserStandby "
      "B:ExtStartFlag F:ThyLow I:List2Max B:PopupMessage B:LowCPU B:EH_sys F:Voffset F:Vfactor "
      "F:VminMotor F:VoltMotor F:VoltMotorOld F:VmesMotor D:MotorRPM D:MTmaxRPM D:MTminRPM "
      "L:MotorCount L:MotorCT L:MotorCN L:MotorState B:MotorEnabled D:TimeRPS D:TimeRPS0 "
      "D:TimeRPS1 D:TimeStandby D:StandbyInterval";
  const std::string methods =
      "myTimer CloseAllValves AllClose AllOff Counter0Read Counter0Start Counter1Read "
      "Counter1Start Counter2Read Counter2Start CounterRead CounterFreqRead CounterStart "
      "CounterStop DCmotorOn Delay Enable EnergyMes EV_to_Slider MorvandStatus ExtRepRateMes "
      "ExtRepRateMes1 ExtStart Fan FilamentCheck FilamentVolts FillLaser GasAutoRefill GasFill "
      "GasPartialRefill GasFilterPress GasPumpout Halt HighRepSetup HiVoltSet HVTest Immediate "
      "InTrigDCTest InTrigMes InTrigTest InTrigOff LaserData GetLaserList GetGasList LaserPause "
      "LaserRestart LaserRun LaserStop MaxContinue MaxNumSet Motor MotorOff MotorOn MotorSlow "
      "MotorMedium MotorFast MotorStart MotorSet MotorRpmMes MotorR2V MotorVOn MotorVMes "
      "MotorVSet MotorVStart OpticsSevStart OpticsSevFinish OpenValves OpenAll OpenFill "
      "OpenHelium OpenMain OpenPremix OpenPump OpenVacPump HeliumFill HeliumLineFill PopupSet "
      "PowerOn PremixFill PremixLinePump PressMes Pulse PulseOFF PulseReset Pumpout ReprateSet "
      "Reset SetChargeMode SetFillPress SetLaserAndGasType SetLaserStandby SetPCIcard "
      "SetTriggerMode Slider_to_EV StandardCard StateTest1711 status TempControl TempMes "
      "TestStr ThyratronMes ThySkip ThyStandbySet ThyWarmup VoltageMes VoltageOff VoltageSet "
      "VoltTest12 VprogTest Waiting";
  const std::string letters = "BILFDS";  // Boolean Int16 Int32 Single Double String
  const Type types[] = {Type::Bool,   Type::Int16,  Type::Int32,
                        Type::Single, Type::Double, Type::String};
  std::istringstream props(properties);
  std::string entry;
  size_t i = 0;
  while (props >> entry) {
    ASSERT_LT(i, reflection::properties().size());
    const auto& p = reflection::properties()[i++];
    EXPECT_EQ(p.name, entry.substr(2)) << "slot " << i;
    EXPECT_EQ(p.type, types[letters.find(entry[0])]) << entry;
  }
  EXPECT_EQ(i, 87u);
  std::istringstream names(methods);
  i = 0;
  while (names >> entry) {
    ASSERT_LT(i, reflection::methods().size());
    EXPECT_EQ(reflection::methods()[i++].name, entry) << "slot " << i;
  }
  EXPECT_EQ(i, 110u);
}

TEST(MethodTable, SignaturesComeFromTheDeclarations) {
  const auto* vset = reflection::findMethod("MotorVSet");
  ASSERT_NE(vset, nullptr);
  EXPECT_EQ(vset->result, Type::Bool);
  ASSERT_EQ(vset->arguments.size(), 1u);
  EXPECT_EQ(vset->arguments[0].name, "mVolt");
  EXPECT_EQ(vset->arguments[0].type, Type::Single);
  EXPECT_TRUE(vset->arguments[0].byReference);

  const auto* pick = reflection::findMethod("SetLaserAndGasType");
  ASSERT_EQ(pick->arguments.size(), 2u);
  EXPECT_EQ(pick->arguments[0].name, "GasList");
  EXPECT_EQ(pick->arguments[1].name, "LaserList");
  EXPECT_EQ(pick->arguments[1].type, Type::List);
  EXPECT_FALSE(pick->arguments[1].byReference);

  const auto* test = reflection::findMethod("TestStr");
  EXPECT_EQ(test->result, Type::Bool);
  EXPECT_EQ(test->arguments[1].type, Type::String);
  EXPECT_FALSE(test->arguments[1].byReference);

  EXPECT_EQ(reflection::findMethod("myTimer")->result, Type::Double);
  EXPECT_EQ(reflection::findMethod("InTrigMes")->result, Type::Int32);
  EXPECT_EQ(reflection::findMethod("MaxNumSet")->result, Type::String);
  EXPECT_EQ(reflection::findMethod("Counter0Read")->result, Type::Void);
  ASSERT_TRUE(reflection::findMethod("LaserRun")->defaultLast.has_value());
  EXPECT_EQ(*reflection::findMethod("LaserRun")->defaultLast,
            (Value{std::in_place_type<int16_t>, int16_t{-1}}));
  EXPECT_FALSE(reflection::findMethod("Pulse")->defaultLast.has_value());
  // Every argument has a name and every method and property a description for the shell's
  // help; LaserRun is the only method with a default.
  for (const auto& m : reflection::methods()) {
    for (const auto& a : m.arguments) EXPECT_FALSE(a.name.empty()) << m.name;
    EXPECT_FALSE(m.description.empty()) << m.name;
    EXPECT_EQ(m.defaultLast.has_value(), m.name == "LaserRun") << m.name;
  }
  for (const auto& p : reflection::properties()) EXPECT_FALSE(p.description.empty()) << p.name;
}

TEST(TextConversion, WholeNumbersAreCheckedAtTheEdgesOfTheirRange) {
  EXPECT_EQ(fromText(Type::Int16, "32767"), (Value{std::in_place_type<int16_t>, int16_t{32767}}));
  EXPECT_EQ(fromText(Type::Int16, "-32768"), (Value{std::in_place_type<int16_t>, int16_t{-32768}}));
  EXPECT_THROW(fromText(Type::Int16, "32768"), ValueError);
  EXPECT_THROW(fromText(Type::Int16, "-32769"), ValueError);
  EXPECT_EQ(fromText(Type::Int32, "2147483647"),
            (Value{std::in_place_type<int32_t>, int32_t{2147483647}}));
  EXPECT_THROW(fromText(Type::Int32, "2147483648"), ValueError);
  EXPECT_EQ(fromText(Type::Int32, "5e7"), (Value{std::in_place_type<int32_t>, 50000000}));
  EXPECT_THROW(fromText(Type::Int32, "2.5"), ValueError);
  EXPECT_THROW(fromText(Type::Int32, "twelve"), ValueError);
  EXPECT_THROW(fromText(Type::Int16, ""), ValueError);
}

TEST(TextConversion, BooleansAcceptWordsAndAnyNonZeroNumberIsTrue) {
  for (const char* t : {"true", "True", "YES", "on", "-1", "1", "7"}) {
    EXPECT_EQ(fromText(Type::Bool, t), Value{true}) << t;
  }
  for (const char* t : {"false", "No", "off", "0"})
    EXPECT_EQ(fromText(Type::Bool, t), Value{false}) << t;
  EXPECT_THROW(fromText(Type::Bool, "maybe"), ValueError);
  EXPECT_EQ(toText(Value{true}), "True");
  EXPECT_EQ(toText(Value{false}), "False");
}

TEST(TextConversion, FloatsRoundTripInTheirShortestForm) {
  EXPECT_EQ(toText(fromText(Type::Single, "0.1")), "0.1");
  EXPECT_EQ(toText(fromText(Type::Single, "899.5")), "899.5");
  EXPECT_EQ(toText(fromText(Type::Double, "0.1")), "0.1");
  EXPECT_EQ(std::get<float>(fromText(Type::Single, " 23.25 ")), 23.25f);
  EXPECT_THROW(fromText(Type::Single, "1e39"), ValueError);
  EXPECT_THROW(fromText(Type::Single, "1,5"), ValueError);
  EXPECT_EQ(toText(fromText(Type::String, "  a b ")), "  a b ");
  EXPECT_EQ(toText(Value{}), "");
  EXPECT_THROW(fromText(Type::List, "x"), ValueError);
}

class MethodCalls : public ControllerTest {};

TEST_F(MethodCalls, ArgumentsAreCheckedBeforeTheMethodRuns) {
  Morvand& m = make();
  const auto* popup = reflection::findMethod("PopupSet");
  std::vector<Value> none;
  EXPECT_THROW(popup->invoke(m, none), ValueError);
  std::vector<Value> wrongType{Value{std::string("True")}};
  EXPECT_THROW(popup->invoke(m, wrongType), ValueError);
  std::vector<Value> tooMany{Value{true}, Value{true}};
  EXPECT_THROW(popup->invoke(m, tooMany), ValueError);
  EXPECT_FALSE(m.PopupMessage);
  std::vector<Value> ok{Value{true}};
  EXPECT_EQ(popup->invoke(m, ok), Value{});
  EXPECT_TRUE(m.PopupMessage);

  const auto* list = reflection::findMethod("GetLaserList");
  std::vector<Value> noList{Value{static_cast<ListControl*>(nullptr)}};
  EXPECT_THROW(list->invoke(m, noList), ValueError);
}

TEST_F(MethodCalls, ResultsAndByReferenceArgumentsComeBack) {
  Morvand& m = make();
  std::vector<Value> found{Value{std::string("PCI-1711 card")}, Value{std::string("1711")}};
  EXPECT_EQ(reflection::findMethod("TestStr")->invoke(m, found), Value{true});
  std::vector<Value> missing{Value{std::string("PCI-1711 card")}, Value{std::string("1712")}};
  EXPECT_EQ(reflection::findMethod("TestStr")->invoke(m, missing), Value{false});

  // Waiting goes through the controller's clock, and myTimer reads it back.
  std::vector<Value> none;
  const double before = std::get<double>(reflection::findMethod("myTimer")->invoke(m, none));
  std::vector<Value> wait{Value{2.5}};
  reflection::findMethod("Waiting")->invoke(m, wait);
  const double after = std::get<double>(reflection::findMethod("myTimer")->invoke(m, none));
  EXPECT_GE(after - before, 2.5);
  EXPECT_LT(after - before, 2.6);
}

TEST_F(MethodCalls, ListArgumentsReachTheCallersList) {
  Morvand& m = make();
  ListBox models;
  std::vector<Value> args{Value{static_cast<ListControl*>(&models)}};
  reflection::findMethod("GetLaserList")->invoke(m, args);
  EXPECT_EQ(models.ListCount(), 54);
  EXPECT_EQ(models.List(9), "LM-10");
}

}  // namespace
}  // namespace morvand::test
