// Per-block and per-pixel cost of the block library, called through dlsym as the viewer does.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

struct Exports {
  void (*izzq)(int16_t*, const int16_t*);
  void (*idct)(int16_t*);
  void (*vgaY)(uint8_t*, int16_t*);
  void (*vgaC)(uint8_t*, int16_t*);
  void (*yuvToRgb)(uint8_t*, int32_t);
};

const Exports& Lib() {
  static const Exports e = [] {
    void* h = dlopen(KORVEL_LIBRARY_PATH, RTLD_NOW);
    if (!h) {
      std::fprintf(stderr, "%s\n", dlerror());
      std::exit(1);
    }
    return Exports{reinterpret_cast<void (*)(int16_t*, const int16_t*)>(dlsym(h, "IZZQ")),
                   reinterpret_cast<void (*)(int16_t*)>(dlsym(h, "Idct")),
                   reinterpret_cast<void (*)(uint8_t*, int16_t*)>(dlsym(h, "CopyBlockVgaY")),
                   reinterpret_cast<void (*)(uint8_t*, int16_t*)>(dlsym(h, "CopyBlockVgaC")),
                   reinterpret_cast<void (*)(uint8_t*, int32_t)>(dlsym(h, "YUVtoRGB"))};
  }();
  return e;
}

std::vector<int16_t> RandomScanBlocks(int count) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> level(-40, 40);
  std::vector<int16_t> blocks(static_cast<size_t>(64 * count));
  for (size_t i = 0; i < blocks.size(); ++i) blocks[i] = static_cast<int16_t>(i % 64 < 12 ? level(rng) : 0);
  return blocks;
}

void BM_IzzqIdctPerBlock(benchmark::State& state) {
  const auto scan = RandomScanBlocks(1024);
  alignas(16) int16_t block[64];
  size_t i = 0;
  for (auto _ : state) {
    Lib().izzq(block, &scan[64 * (i++ & 1023)]);
    Lib().idct(block);
    benchmark::DoNotOptimize(block);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IzzqIdctPerBlock);

void BM_PlaceLumaBlock(benchmark::State& state) {
  std::vector<uint8_t> frame(1920 * 480);
  alignas(16) int16_t block[64] = {};
  for (auto _ : state) {
    Lib().vgaY(&frame[1920 * 100 + 300], block);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlaceLumaBlock);

void BM_PlaceChromaBlock(benchmark::State& state) {
  std::vector<uint8_t> frame(1920 * 480);
  alignas(16) int16_t block[64] = {};
  for (auto _ : state) {
    Lib().vgaC(&frame[1920 * 100 + 301], block);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlaceChromaBlock);

void BM_YuvToRgbVgaFrame(benchmark::State& state) {
  std::vector<uint8_t> frame(3 * 307200);
  std::mt19937 rng(3);
  for (auto& b : frame) b = static_cast<uint8_t>(rng());
  const auto source = frame;
  for (auto _ : state) {
    state.PauseTiming();
    frame = source;
    state.ResumeTiming();
    Lib().yuvToRgb(frame.data(), 307200);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 307200);  // items = pixels
}
BENCHMARK(BM_YuvToRgbVgaFrame);

}  // namespace

BENCHMARK_MAIN();
