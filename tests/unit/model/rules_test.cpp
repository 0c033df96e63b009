// The rules table of single models: a row is only found by its code, so a code that is no
// model, a second row for a code or a row that lost its value would go unnoticed in use.

#include <gtest/gtest.h>

#include <set>

#include "model/model_rules.hpp"
#include "morvand/models.hpp"

namespace morvand::test {
namespace {

TEST(ModelRulesTest, EveryRowBelongsToOneModelAndDiffersFromTheCommonRules) {
  const ModelRules common{};
  // The charger's XeCl window names one code that no model carries.
  const std::set<int16_t> noModel{15};
  std::set<int16_t> seen;
  for (const ModelRules& row : allModelRules()) {
    SCOPED_TRACE(testing::Message() << "model code " << row.code);
    EXPECT_EQ(findModel(row.code) == nullptr, noModel.count(row.code) == 1);
    EXPECT_TRUE(seen.insert(row.code).second) << "second row for the code";
    EXPECT_EQ(&modelRules(row.code), &row);
    ModelRules values = row;
    values.code = common.code;
    EXPECT_NE(values, common) << "the row changes nothing";
  }
  EXPECT_EQ(modelRules(99), common);  // a code without a model
  EXPECT_EQ(modelRules(5), common);   // a model without a row
}

}  // namespace
}  // namespace morvand::test
