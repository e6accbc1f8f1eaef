#pragma once
#include <string>

#include "sim/harness.h"

namespace kzt::sim {

// The report as text with LF line ends; every LF of the file must come as CR LF, otherwise the
// result carries a marker that no expectation matches.
inline std::string reportText() {
  const std::string raw = readFile("kzt_flash_id.txt");
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) text += "<bare LF>";
    text += raw[i];
  }
  return text;
}

inline std::string eraseCountText() { return readFile("kzt_flash_id_ec.txt"); }

}  // namespace kzt::sim
