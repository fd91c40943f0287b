// The .reg loader on files of deep key lines, where each line names a key a
// thousand components down: the cost per line must not grow with its depth.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/RegFile.h"

namespace {

// `lines` key lines of `depth` one-letter components below HKLM\Software,
// all naming the same few keys, within the loader's size limit.
std::string DeepKeyFile(size_t depth, size_t lines) {
    std::string path = "HKEY_LOCAL_MACHINE\\Software";
    for (size_t i = 0; i < depth; ++i) path += "\\k";
    std::string file = "Windows Registry Editor Version 5.00\r\n";
    for (size_t i = 0; i < lines; ++i) file += "[" + path + "\\" + std::to_string(i % 8) + "]\r\n";
    return file;
}

void ParseDeepKeys(benchmark::State& state) {
    const std::string file = DeepKeyFile(static_cast<size_t>(state.range(0)), static_cast<size_t>(state.range(1)));
    for (auto _ : state) {
        korva::platform::RegTree tree;
        auto status = korva::platform::ParseRegFile(reinterpret_cast<const uint8_t*>(file.data()), file.size(), tree);
        if (!status.ok()) return state.SkipWithError(korva::platform::RegFileErrorName(status.error));
        benchmark::DoNotOptimize(tree);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(ParseDeepKeys)->Args({16, 8192})->Args({1000, 8192})->Unit(benchmark::kMillisecond);

}  // namespace
