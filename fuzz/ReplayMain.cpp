// Runs a fuzz target's entry point over saved inputs, for builds that cannot
// link libFuzzer (the Windows build, plain native builds). Each argument is a
// file or a directory whose files are all replayed; a target that fails an
// invariant aborts, so a clean exit means every input passed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t size = bytes.size();
    bytes.push_back(0);  // never a null pointer, even for an empty input
    LLVMFuzzerTestOneInput(bytes.data(), size);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path argument(argv[i]);
        std::error_code error;
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argument, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(argument, error)) {
                if (entry.is_regular_file(error)) files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());  // the same order on every host
        } else {
            files.push_back(argument);
        }
        for (const std::filesystem::path& file : files) {
            if (!Replay(file)) {
                std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
                return 1;
            }
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed == 0 ? 1 : 0;
}
