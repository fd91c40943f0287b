#include "tests/common/TempFiles.h"

#include <atomic>
#include <chrono>
#include <fstream>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace korva::test_support {

namespace fs = std::filesystem;

namespace {
#ifdef _WIN32
long ProcessId() { return _getpid(); }
#else
long ProcessId() { return static_cast<long>(::getpid()); }
#endif
}  // namespace

TempDirectory::TempDirectory() {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    // The process id keeps test executables run side by side apart.
    path_ = fs::temp_directory_path() / ("korva-test-" + std::to_string(ProcessId()) + "-" + std::to_string(stamp) + "-" +
                                         std::to_string(counter.fetch_add(1)));
    fs::create_directories(path_);
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::wstring TempDirectory::File(std::wstring_view name) const { return (path_ / name).wstring(); }

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> PatternBytes(size_t size, size_t offset) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((offset + i) % 251);
    return bytes;
}

}  // namespace korva::test_support
