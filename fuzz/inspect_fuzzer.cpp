// kzt_inspect on a dump set made of one input: records of one byte file index, two bytes length
// (little-endian) and the bytes, the last one possibly cut short. Index 0 is id.bin, 1 kzt_fwi.bin,
// 2 kzt_fid2.bin, 3 smart.bin, 4 reading.json (the manifest, read by kzt_inspect's own JSON
// reader), 5 + 8 x channel + CE kzt_bbec_<channel>_<CE>.bin (modulo 69). The set is read as one
// reading (--json), as a history (--history --json) and against itself (--diff --json): each must
// end by itself with status 0, or 2 where the set names no drive for --diff, its output written.
#include <cstdio>
#include <map>
#include <string>

#include "fuzz.h"
#include "inspect/inspect.h"

namespace {

std::string dumpFileName(unsigned index) {
  static const char* const kFixed[] = {"id.bin", "kzt_fwi.bin", "kzt_fid2.bin", "smart.bin",
                                       "reading.json"};
  if (index < 5) return kFixed[index];
  char name[24];
  std::snprintf(name, sizeof name, "kzt_bbec_%1X_%1X.bin", (index - 5) / 8, (index - 5) % 8);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::map<std::string, std::string> dumps;
  for (size_t at = 0; at + 3 <= size;) {
    const unsigned index = data[at] % 69;
    const size_t length = data[at + 1] | static_cast<size_t>(data[at + 2]) << 8;
    at += 3;
    const size_t taken = length < size - at ? length : size - at;
    dumps[dumpFileName(index)] = std::string(reinterpret_cast<const char*>(data + at), taken);
    at += taken;
  }
  kzt::sim::ScratchDir folder;
  for (const auto& [name, bytes] : dumps) kzt::sim::writeFile(name, bytes);
  std::FILE* out = std::fopen("/dev/null", "w");
  const char* one[] = {"kzt_inspect", "--json", "."};
  const char* history[] = {"kzt_inspect", "--history", "--json", "."};
  const char* diff[] = {"kzt_inspect", "--diff", "--json", ".", "."};
  if (kzt::runInspectCommand(3, one, out, out) != 0) kzt::fuzz::finding("one set: not status 0");
  if (kzt::runInspectCommand(4, history, out, out) != 0) kzt::fuzz::finding("history: not status 0");
  const int status = kzt::runInspectCommand(5, diff, out, out);
  if (status != 0 && status != 2) kzt::fuzz::finding("diff: neither 0 nor 2");
  std::fclose(out);
  return 0;
}
