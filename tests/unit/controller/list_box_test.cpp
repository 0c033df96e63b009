#include <gtest/gtest.h>

#include "morvand/errors.hpp"
#include "morvand/host.hpp"

namespace morvand::test {
namespace {

TEST(ListBoxTest, AddedItemsKeepTheirTextDataAndPositionUntilCleared) {
  ListBox list;
  EXPECT_EQ(list.NewIndex(), -1);
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.Text(), "");
  EXPECT_TRUE(list.Enabled());
  list.AddItem("KrF");
  list.AddItem("XeCl");
  EXPECT_EQ(list.NewIndex(), 1);
  list.SetItemData(list.NewIndex(), 4);
  EXPECT_EQ(list.ItemData(1), 4);
  EXPECT_EQ(list.ItemData(0), 0);
  list.SetListIndex(1);
  EXPECT_EQ(list.Text(), "XeCl");
  list.SetListIndex(-1);
  EXPECT_EQ(list.Text(), "");
  list.Clear();
  EXPECT_EQ(list.ListCount(), 0);
  EXPECT_EQ(list.NewIndex(), -1);
  EXPECT_EQ(list.ListIndex(), -1);
}

TEST(ListBoxTest, AnIndexOutsideTheListIsAListError) {
  ListBox list;
  list.AddItem("F2");
  EXPECT_THROW(list.List(1), ListError);
  EXPECT_THROW(list.ItemData(-1), ListError);
  EXPECT_THROW(list.SetItemData(1, 0), ListError);
  EXPECT_THROW(list.SetListIndex(1), ListError);
  EXPECT_THROW(list.SetListIndex(-2), ListError);
  EXPECT_THROW(list.SetList(-1, "x"), ListError);
  EXPECT_EQ(list.ListIndex(), -1);
}

TEST(ListBoxTest, SetListBeyondTheEndExtendsTheListButNotPastItsInt16Count) {
  ListBox list;
  list.SetList(2, "ch 2");
  EXPECT_EQ(list.ListCount(), 3);
  EXPECT_EQ(list.List(0), "");
  EXPECT_EQ(list.List(2), "ch 2");
  list.SetList(32766, "last");
  EXPECT_EQ(list.ListCount(), 32767);
  // One more item would make the count wrap to a negative Int16.
  EXPECT_THROW(list.SetList(32767, "x"), ListError);
  EXPECT_THROW(list.AddItem("x"), ListError);
  EXPECT_EQ(list.ListCount(), 32767);
}

}  // namespace
}  // namespace morvand::test
