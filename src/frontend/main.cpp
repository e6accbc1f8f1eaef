#include "frontend/run_flow.h"
#include "transport/platform.h"

int main(int argc, char** argv) {
  kzt::setPlatform(kzt::systemPlatform());
  return kzt::runProgram(argc, argv);
}
