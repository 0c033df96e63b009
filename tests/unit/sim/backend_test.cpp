// The back-end table: addresses reach their back end, unknown ones are refused with a reason.

#include "morvand/sim/backend.hpp"

#include <gtest/gtest.h>

#include <chrono>

#include "morvand/backends.hpp"
#include "morvand/errors.hpp"

namespace morvand {
namespace {

TEST(BackendTable, SimulatedCardsOpenByAddressAndStepTheirOwnClock) {
  const std::vector<BackendEntry> table = backends();
  ASSERT_FALSE(table.empty());
  EXPECT_EQ(table.front().prefix, "sim:");
  EXPECT_FALSE(table.front().description.empty());

  const std::pair<const char*, sim::Personality> cards[] = {{"sim:1710", sim::Personality::Pci1710},
                                                            {"sim:1711", sim::Personality::Pci1711},
                                                            {"sim:1712", sim::Personality::Pci1712},
                                                            {"sim:demo", sim::Personality::Demo}};
  for (const auto& [uri, personality] : cards) {
    std::unique_ptr<Backend> b = openBackend(uri);
    auto* simulated = dynamic_cast<sim::SimBackend*>(b.get());
    ASSERT_NE(simulated, nullptr) << uri;
    EXPECT_TRUE(b->simulated());
    EXPECT_EQ(simulated->simulation().card->personality(), personality) << uri;
    EXPECT_EQ(b->driver(), simulated->simulation().card);
    const auto before = b->clock().now();
    b->step();
    EXPECT_EQ(b->clock().now() - before, std::chrono::milliseconds(2)) << uri;
  }

  std::unique_ptr<Backend> b = openBackend("sim:1711");
  EXPECT_TRUE(b->setFault("premix-empty", true));
  EXPECT_TRUE(
      dynamic_cast<sim::SimBackend&>(*b).simulation().plant->fault(sim::Fault::PremixEmpty));
  EXPECT_FALSE(b->setFault("no-such-fault", true));
  EXPECT_EQ(b->faultNames().size(), sim::kFaultCount);
}

TEST(BackendTable, UnknownAddressesAreRefusedWithTheirReason) {
  try {
    openBackend("sim:9999");
    FAIL() << "sim:9999 opened";
  } catch (const BackendError& e) {
    EXPECT_NE(std::string(e.what()).find("unknown card \"sim:9999\""), std::string::npos);
  }
  try {
    openBackend("gpib:0");
    FAIL() << "gpib:0 opened";
  } catch (const BackendError& e) {
    EXPECT_NE(std::string(e.what()).find("\"gpib:0\""), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("sim:"), std::string::npos);
  }
}

TEST(BackendTable, ARegisteredBackEndGetsTheRestOfItsAddressAndReplacesItsNamesake) {
  static std::string seen;
  registerBackend(
      {"test:",
       [](const std::string& rest, const BackendOptions& o) -> std::unique_ptr<Backend> {
         seen = rest + "/" + std::to_string(o.seed);
         return sim::openBackend("1712", o);
       },
       "first"});
  registerBackend(
      {"test:",
       [](const std::string& rest, const BackendOptions& o) -> std::unique_ptr<Backend> {
         seen = "second " + rest + "/" + std::to_string(o.seed);
         return sim::openBackend("1710", o);
       },
       "second"});
  BackendOptions options;
  options.seed = 7;
  EXPECT_NE(openBackend("test:card-a", options), nullptr);
  EXPECT_EQ(seen, "second card-a/7");
  int entries = 0;
  for (const BackendEntry& e : backends()) entries += e.prefix == "test:";
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace morvand
