#include "dump_split.h"

#include <cctype>
#include <cstdio>

namespace kzt::fuzz {

std::string dumpFileName(unsigned index) {
  static const char* const kFixed[] = {"id.bin", "kzt_fwi.bin", "kzt_fid.bin", "kzt_fid2.bin"};
  index %= kDumpFileCount;
  if (index < 4) return kFixed[index];
  const unsigned bank = index - 4;
  char name[24];
  std::snprintf(name, sizeof name, "kzt_bbec_%1X_%1X.bin", bank / 8, bank % 8);
  return name;
}

std::vector<DumpRecord> splitDumpRecords(const uint8_t* data, size_t size) {
  std::vector<DumpRecord> records;
  size_t at = 1;
  while (at + 3 <= size) {
    DumpRecord record;
    record.index = data[at] % kDumpFileCount;
    const size_t declared = static_cast<size_t>(data[at + 1]) | static_cast<size_t>(data[at + 2]) << 8;
    at += 3;
    record.bytes = data + at;
    record.length = declared < size - at ? declared : size - at;
    at += record.length;
    records.push_back(record);
  }
  return records;
}

std::string replayArgument(uint8_t options) {
  std::string letters = "f";
  if (options & 0x01) letters += 'x';
  if (options & 0x02) letters += 'n';
  if (options & 0x04) letters += 'y';
  if (options & 0x08) letters += 'b';
  if (options & 0x10) {
    for (char& c : letters) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return (options & 0x20) ? letters + "0" : "0" + letters;
}

}  // namespace kzt::fuzz
