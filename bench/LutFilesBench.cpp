// LUT file text at the largest export size: writing and parsing a 65-point table.
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace lumivert;

constexpr std::int64_t exportSize = 65;

// A non-trivial grade, so every number has all its digits.
LUT3D exportTable()
{
    return LUT3D::build(exportSize, [](const RGB& c) {
        return RGB{std::sqrt(c.r) * 0.97f + 0.013f, c.g * c.g * 0.91f + 0.041f,
                   0.5f * (c.b + c.r * c.g) + 0.0371f};
    });
}

void BM_LUTWriterCube65(benchmark::State& state)
{
    const LUT3D lut = exportTable();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = LUTWriter::cube(lut, "Benchmark");
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_LUTWriterCube65)->Unit(benchmark::kMillisecond);

void BM_LUTReaderCube65(benchmark::State& state)
{
    const std::string text = LUTWriter::cube(exportTable(), "Benchmark");
    for (auto _ : state) {
        LUTReader::CubeContents contents = LUTReader::cube(text);
        benchmark::DoNotOptimize(contents.lut.table().values().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LUTReaderCube65)->Unit(benchmark::kMillisecond);

void BM_LUTWriterThreeDL65(benchmark::State& state)
{
    const LUT3D lut = exportTable();
    for (auto _ : state) {
        const std::string text = LUTWriter::threeDL(lut);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_LUTWriterThreeDL65)->Unit(benchmark::kMillisecond);

void BM_LUTReaderThreeDL65(benchmark::State& state)
{
    const std::string text = LUTWriter::threeDL(exportTable());
    for (auto _ : state) {
        LUT3D lut = LUTReader::threeDL(text).lut;
        benchmark::DoNotOptimize(lut.values().data());
    }
}
BENCHMARK(BM_LUTReaderThreeDL65)->Unit(benchmark::kMillisecond);

}  // namespace
