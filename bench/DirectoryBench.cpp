// Listing a catalog directory of many entries: the POSIX host reads, stats
// and sorts the whole directory at the first call, so the cost per entry must
// stay flat as the directory grows.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Directory.h"

namespace {

namespace fs = std::filesystem;

// A scratch directory of `count` small catalogs and as many other files.
class CatalogDirectory {
public:
    explicit CatalogDirectory(size_t count)
        : path_(fs::temp_directory_path() / ("korva-bench-" + std::to_string(count))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
        for (size_t i = 0; i < count; ++i) {
            std::ofstream(path_ / ("Package_" + std::to_string(i * 7919 % count) + ".cat")) << i;
            std::ofstream(path_ / ("Package_" + std::to_string(i) + ".txt")) << i;
        }
    }
    ~CatalogDirectory() { fs::remove_all(path_); }
    std::wstring Pattern() const { return (path_ / L"*.cat").wstring(); }

private:
    fs::path path_;
};

void ListCatalogs(benchmark::State& state) {
    const CatalogDirectory directory(static_cast<size_t>(state.range(0)));
    const std::wstring pattern = directory.Pattern();
    for (auto _ : state) {
        korva::platform::FindData data;
        korva::platform::FindHandle search = korva::platform::FindFirstEntry(pattern.c_str(), data);
        if (search == korva::platform::InvalidFileHandle()) return state.SkipWithError("nothing found");
        while (korva::platform::FindNextEntry(search, data)) benchmark::DoNotOptimize(data);
        korva::platform::CloseFind(search);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ListCatalogs)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
