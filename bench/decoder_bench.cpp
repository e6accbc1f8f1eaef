// The flash-ID decoder, one call at a time: a mix of IDs over every maker family the decoder
// tells apart, and each ID of the mix on its own.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>

#include "nandid/flash_id.h"

namespace {

using Id = std::array<uint8_t, 6>;

// Every maker family the decoder tells apart, with IDs that take different ways through its
// tables (node, 3D generation, cell type, page size, capacity, planes), a maker known by name
// only, and an unknown maker code (the early way out).
constexpr Id kMix[] = {
    {0x98, 0x3C, 0x99, 0xB3, 0x7A, 0x51},  // Toshiba
    {0x98, 0x3A, 0x98, 0xA3, 0x76, 0x51},  // Toshiba
    {0x45, 0x3C, 0x9B, 0xB3, 0x04, 0x51},  // SanDisk
    {0x98, 0x7A, 0x02, 0x00, 0x08, 0x27},  // Toshiba
    {0xEC, 0x3A, 0x0C, 0x0A, 0x7A, 0x40},  // Samsung
    {0xEC, 0xDE, 0x00, 0x00, 0x00, 0xC5},  // Samsung
    {0xAD, 0xDE, 0x14, 0xA7, 0x42, 0x8A},  // SK hynix
    {0xAD, 0x3C, 0x0A, 0x03, 0x00, 0x60},  // SK hynix 3D
    {0x2C, 0x88, 0x24, 0x4B, 0xA9, 0x84},  // Micron
    {0x89, 0xD3, 0xAC, 0x32, 0xC6, 0x00},  // Intel
    {0x9B, 0xC4, 0x08, 0x61, 0x20, 0x00},  // YMTC
    {0xC2, 0xF1, 0x80, 0x95, 0x02, 0x00},  // Macronix: maker name only
    {0x99, 0x3C, 0x99, 0xB3, 0x7A, 0x51},  // unknown maker
};
constexpr int kMixSize = static_cast<int>(sizeof kMix / sizeof kMix[0]);

// 128 characters, as the bank list gives the decoder.
using Description = char[128];

void BM_DecodeFlashIdMix(benchmark::State& state) {
  Description description;
  int next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kzt::DecodeFlashId(kMix[next].data(), description));
    benchmark::DoNotOptimize(description);
    next = next + 1 == kMixSize ? 0 : next + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeFlashIdMix);

void BM_DecodeFlashIdEach(benchmark::State& state) {
  const Id& id = kMix[state.range(0)];
  Description description;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kzt::DecodeFlashId(id.data(), description));
    benchmark::DoNotOptimize(description);
  }
  char label[24];
  std::snprintf(label, sizeof label, "%02X %02X %02X %02X %02X %02X", id[0], id[1], id[2], id[3],
                id[4], id[5]);
  state.SetLabel(label);
}
BENCHMARK(BM_DecodeFlashIdEach)->DenseRange(0, kMixSize - 1);

}  // namespace
