#pragma once

namespace kzt {

// The program's version text: the console banner and the report's first line.
constexpr const char* kProgramVersion = "0.15a";

}  // namespace kzt
