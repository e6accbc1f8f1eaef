#pragma once
#include <cstdio>
#include <cstdlib>

#include "sim/harness.h"

namespace kzt::fuzz {

// A broken invariant: reported like a sanitizer finding, so that libFuzzer keeps the input.
[[noreturn]] inline void finding(const char* what) {
  std::fprintf(stderr, "FINDING: %s\n", what);
  std::abort();
}

// A machine with no drive and no console: a run on it must end by itself, and it counts any drive
// command it is handed.
inline sim::SimPlatform& emptyMachine() {
  static sim::SimPlatform machine;
  machine.console = false;
  machine.requests = 0;
  return machine;
}

}  // namespace kzt::fuzz
