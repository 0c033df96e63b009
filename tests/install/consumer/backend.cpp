// A program outside the tree that opens the simulated card through the back-end table.
#include <morvand/backends.hpp>

#include <cstdio>

int main() {
  auto backend = morvand::openBackend("sim:1712");
  int16_t count = 0;
  const int32_t status = backend->driver()->DeviceGetNumOfList(&count);
  std::printf("consumer: sim:1712 open, %d device(s), status %d\n", count, status);
  return status == 0 && count > 0 ? 0 : 1;
}
