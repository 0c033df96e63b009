// A program outside the tree, built against the installed package.
#include <morvand/card_context.hpp>
#include <morvand/morvand.hpp>

#include <cstdio>

int main() {
  morvand::ListBox list;
  list.AddItem("PCI-1711");
  morvand::CardContext::current().reset();
  std::printf("consumer: %d item, driver set: %d\n", list.ListCount(),
              morvand::CardContext::current().hasDriver() ? 1 : 0);
  return list.ListCount() == 1 ? 0 : 1;
}
