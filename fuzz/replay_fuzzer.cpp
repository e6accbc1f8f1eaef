// The whole file-mode replay: one input becomes the dump files of a scratch folder and the
// program replays them with `0f` and a variant of the other letters. Byte 0 holds the letters
// (bit 0 x, bit 1 n, bit 2 y, bit 3 b, bit 4 upper case, bit 5 letters before the number); then
// records of one byte file index, two bytes length (little-endian) and the bytes, the last one
// possibly cut short. Index 0 is id.bin, 1 kzt_fwi.bin, 2 kzt_fid.bin, 3 kzt_fid2.bin, 4 + 8 x
// channel + CE kzt_bbec_<channel>_<CE>.bin (modulo 68). File mode must send nothing, must leave
// every dump as it found it and write no other (beside the folder's lock file), and must write the
// report.
#include <cctype>
#include <filesystem>
#include <map>
#include <string>

#include "fuzz.h"

namespace {

std::string dumpFileName(unsigned index) {
  static const char* const kFixed[] = {"id.bin", "kzt_fwi.bin", "kzt_fid.bin", "kzt_fid2.bin"};
  if (index < 4) return kFixed[index];
  char name[24];
  std::snprintf(name, sizeof name, "kzt_bbec_%1X_%1X.bin", (index - 4) / 8, (index - 4) % 8);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::map<std::string, std::string> dumps;
  for (size_t at = 1; at + 3 <= size;) {
    const std::string name = dumpFileName(data[at] % 68);
    const size_t declared = data[at + 1] | static_cast<size_t>(data[at + 2]) << 8;
    at += 3;
    const size_t length = declared < size - at ? declared : size - at;
    dumps[name] = std::string(reinterpret_cast<const char*>(data + at), length);
    at += length;
  }
  std::string letters = "f";
  const uint8_t options = data[0];
  for (auto [bit, letter] : {std::pair{0x01, 'x'}, {0x02, 'n'}, {0x04, 'y'}, {0x08, 'b'}}) {
    if (options & bit) letters += letter;
  }
  if (options & 0x10) {
    for (char& c : letters) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }

  const kzt::sim::ScratchDir scratch;
  for (const auto& [name, bytes] : dumps) kzt::sim::writeFile(name, bytes);
  kzt::sim::SimPlatform& machine = kzt::fuzz::emptyMachine();
  kzt::sim::runProgramOn(machine, {(options & 0x20) ? letters + "0" : "0" + letters});
  if (machine.requests != 0) kzt::fuzz::finding("a drive command was sent in file mode");
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (name == "kzt_flash_id.txt" || name == "kzt_flash_id_ec.txt" || name == "kzt_fid.lock") continue;
    const auto dump = dumps.find(name);
    if (dump == dumps.end()) kzt::fuzz::finding("file mode wrote a file that was not there");
    if (kzt::sim::readFile(name) != dump->second) kzt::fuzz::finding("file mode changed a dump it loaded");
  }
  if (!std::filesystem::exists("kzt_flash_id.txt")) kzt::fuzz::finding("no report was written");
  return 0;
}
