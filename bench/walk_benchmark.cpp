// In-process cost of the dump walk, without files: Google Benchmark.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "imagefiles/dump_modules.h"
#include "tests/builders.h"
#include "tests/reference_walk.h"

namespace {

using corvinade::test::Bytes;

constexpr std::uint32_t kStamp = 0x5AB38077;
constexpr corvinade::ImageIdentity kIdentity{kStamp, 0x9000, 0x1D0C5};

// A dump with one list of `records` records, the first of them matching.
Bytes OneList(std::uint32_t records) {
  return corvinade::test::SharedListDump(1, records, kStamp, records + 1);
}

void UpdateOneList(benchmark::State& state) {
  Bytes dump = OneList(static_cast<std::uint32_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvinade::UpdateDumpModulesInBytes(
        corvinade::MutableBytes(dump.data(), dump.size()), kIdentity));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(UpdateOneList)->Arg(1)->Arg(1000)->Arg(100000)->Arg(1000000);

// Many directory entries naming one list, as a hostile dump would: the tool against a
// plain walk of every list in turn.
void HostileDirectoryTool(benchmark::State& state) {
  Bytes dump =
      corvinade::test::SharedListDump(static_cast<std::uint32_t>(state.range(0)), 10000, kStamp, 7);
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvinade::UpdateDumpModulesInBytes(
        corvinade::MutableBytes(dump.data(), dump.size()), kIdentity));
  }
}
BENCHMARK(HostileDirectoryTool)->Arg(100)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);

void HostileDirectoryPlainWalk(benchmark::State& state) {
  Bytes dump =
      corvinade::test::SharedListDump(static_cast<std::uint32_t>(state.range(0)), 10000, kStamp, 7);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        corvinade::test::ReferenceUpdate(dump, kStamp, kIdentity.SizeOfImage, kIdentity.CheckSum));
  }
}
BENCHMARK(HostileDirectoryPlainWalk)
    ->Arg(100)
    ->Arg(3000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
