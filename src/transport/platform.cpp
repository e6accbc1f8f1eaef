#include "transport/platform.h"

namespace kzt {

namespace {
Platform* current = nullptr;
}

Platform& platform() { return *current; }

void setPlatform(Platform* implementation) { current = implementation; }

}  // namespace kzt
