#include "morvand/properties.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

namespace morvand::test {
namespace {

TEST(PropertiesTest, StartWithTheInitialValuesOfTheTable) {
  const Properties p;
  EXPECT_FALSE(p.PopupMessage);
  EXPECT_TRUE(p.LowCPU);
  EXPECT_TRUE(p.EH_sys);
  EXPECT_EQ(p.CountPeriod, 1.0);
  EXPECT_EQ(p.mode, 0);
  EXPECT_EQ(p.PCIcard, 0);
  int others = 0;
#define MORVAND_CHECK_ZERO(type, name, ...)                                         \
  if (std::string_view(#name) != "LowCPU" && std::string_view(#name) != "EH_sys" && \
      std::string_view(#name) != "CountPeriod") {                                   \
    EXPECT_EQ(p.name, type{}) << #name;                                             \
    ++others;                                                                       \
  }
  MORVAND_PROPERTIES(MORVAND_CHECK_ZERO)
#undef MORVAND_CHECK_ZERO
  EXPECT_EQ(others, 84);
}

template <typename T>
T distinct(int i) {
  if constexpr (std::is_same_v<T, bool>) {
    return i % 2 == 0;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return "value " + std::to_string(i);
  } else {
    return static_cast<T>(i * 3 + 1);
  }
}

TEST(PropertiesTest, EveryPropertyReturnsWhatWasWrittenAndNoOther) {
  Properties p;
  int i = 0;
#define MORVAND_WRITE(type, name, ...) p.name = distinct<type>(++i);
  MORVAND_PROPERTIES(MORVAND_WRITE)
#undef MORVAND_WRITE
  EXPECT_EQ(i, 87);
  i = 0;
#define MORVAND_READ(type, name, ...) EXPECT_EQ(p.name, distinct<type>(++i)) << #name;
  MORVAND_PROPERTIES(MORVAND_READ)
#undef MORVAND_READ
}

}  // namespace
}  // namespace morvand::test
