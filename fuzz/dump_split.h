#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kzt::fuzz {

// One fuzz input of the replay target carries the option letters and the dump files that a replay
// loads. Layout:
//   byte 0          option byte (see replayArgument)
//   then records    1 byte file index, 2 bytes length (little-endian), then that many bytes;
//                   the last record may be cut short by the end of the input.
// File index (taken modulo kDumpFileCount): 0 "id.bin", 1 "kzt_fwi.bin", 2 "kzt_fid.bin",
// 3 "kzt_fid2.bin", 4 + 8 * channel + CE "kzt_bbec_<channel>_<CE>.bin". A later record for the
// same file replaces the earlier one; a file without a record is missing.
constexpr unsigned kDumpFileCount = 4 + 64;

std::string dumpFileName(unsigned index);

struct DumpRecord {
  unsigned index = 0;
  const uint8_t* bytes = nullptr;
  size_t length = 0;
};

// The records of an input after its option byte, in input order.
std::vector<DumpRecord> splitDumpRecords(const uint8_t* data, size_t size);

// The program's argument for an option byte: the drive number 0 and the letter f, with bit 0 x,
// bit 1 n, bit 2 y, bit 3 b, bit 4 every letter in upper case, bit 5 the letters before the number.
std::string replayArgument(uint8_t options);

}  // namespace kzt::fuzz
