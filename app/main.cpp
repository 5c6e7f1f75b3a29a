#include "app/driver.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  const auto platform = corvalin::MakeSystemPlatform();
  return corvalin::RunDriver(argc, argv, *platform);
}
