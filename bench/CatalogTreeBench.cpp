// The whole build at the scale of a real system: the engine (through its
// library, test roots trusted) with one and with two walking threads, the libcrypto peer and the read-and-hash floor
// over one generated tree, alternately, several rounds; then a rerun with
// nothing changed and the peak memory of a build in a child process, and the
// package catalog alone. Every figure is printed; nothing is timed before the
// engine and the peer agree on every catalog.
//
//   catalog_tree_bench [--catalogs N] [--seed S] [--package-members M]
//                      [--rounds R] [--work DIR] [--check-only]
//
// Its child processes run it as
//   catalog_tree_bench --engine-child SYSTEM32 OUTPUT ROOTS      one build
//   catalog_tree_bench --engine-rounds SYSTEM32 OUTPUT ROOTS N   N timed builds
// and, to set any tree's builds against its floor by hand,
//   catalog_tree_bench --floor-rounds SYSTEM32 N                  N timed floors
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchTree.h"
#include "bench/EngineBuild.h"
#include "engine/WorkerCountOverride.h"
#include "tools/peer/PeerVerifier.h"
#include "bench/ReadFloor.h"

namespace korva::bench {
namespace {

namespace fs = std::filesystem;

struct Options {
    TreeOptions tree;
    int rounds = 5;
    fs::path work;
    bool checkOnly = false;
};

struct Timing {
    double wall = 0;  // seconds
    double cpu = 0;   // seconds of this process's CPU
};

struct Series {
    std::vector<double> wall, cpu;
    void Add(const Timing& t) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
};

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

Timing Time(const std::function<bool()>& work, bool& ok) {
    auto start = std::chrono::steady_clock::now();
    double cpu = CpuSeconds();
    ok = work() && ok;
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), CpuSeconds() - cpu};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool ReadFile(const fs::path& path, Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
    bool ok = size >= 0 && std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    return ok;
}

// The peer over every catalog, reading each file as the engine does.
bool PeerPass(const PeerVerifier& peer, const std::vector<fs::path>& files, Verdicts* verdicts) {
    Bytes bytes;
    for (const fs::path& file : files) {
        if (!ReadFile(file, bytes)) return false;
        Verdict verdict = peer.Verify(bytes);
        if (verdicts != nullptr) (*verdicts)[CatalogKey(file.string())] = std::move(verdict);
    }
    return true;
}

// Engine and peer on every catalog: the same verdict, and for an accepted
// one the same member hashes in the same order. Prints each difference.
bool Agree(const Tree& tree, const Verdicts& engine, const Verdicts& peer) {
    size_t differences = 0, accepted = 0, intended = 0;
    for (const TreeCatalog& catalog : tree.catalogs) {
        std::string key = CatalogKey(catalog.path.string());
        auto e = engine.find(key);
        auto p = peer.find(key);
        intended += catalog.malformation == catgen::Malformation::kNone ? 1 : 0;
        std::string problem;
        if (e == engine.end() || p == peer.end()) {
            problem = e == engine.end() ? "not walked by the engine" : "not verified by the peer";
        } else if (e->second.accepted != p->second.accepted) {
            problem = std::string("engine ") + (e->second.accepted ? "accepts" : "refuses") + ", peer " +
                      (p->second.accepted ? "accepts" : "refuses");
        } else if (e->second.memberHashes != p->second.memberHashes) {
            problem = "member hashes differ (engine " + std::to_string(e->second.memberHashes.size()) + ", peer " +
                      std::to_string(p->second.memberHashes.size()) + ")";
        } else if (e->second.accepted && e->second.memberHashes != catalog.memberHashes) {
            problem = "member hashes differ from the generator's";
        }
        if (e != engine.end() && e->second.accepted) ++accepted;
        if (!problem.empty()) {
            if (++differences <= 20) {
                std::printf("DISAGREE %s (%s): %s\n", key.c_str(),
                            std::string(catgen::NameOf(catalog.malformation)).c_str(), problem.c_str());
            }
        }
    }
    std::printf("agreement: %zu catalogs, %zu accepted (%zu meant to be), %zu differences\n", tree.catalogs.size(),
                accepted, intended, differences);
    return differences == 0 && accepted == intended;
}

// This program run again as a child, through the shell.
std::string ChildCommand(const char* mode, const fs::path& systemDirectory, const fs::path& output,
                         const fs::path& roots) {
    return "'" + fs::read_symlink("/proc/self/exe").string() + "' " + mode + " '" + systemDirectory.string() +
           "' '" + output.string() + "' '" + roots.string() + "'";
}

// The most this process has held resident since it began running this
// program: VmHWM starts afresh at exec, where ru_maxrss would still count
// the parent's pages a spawned child shared before it.
long PeakResidentKib() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    char line[256];
    long peak = -1;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) peak = std::strtol(line + 6, nullptr, 10);
    }
    std::fclose(status);
    return peak;
}

// One engine build in a child process: its wall time, process start and
// exit included, and its peak resident set.
struct ChildRun {
    bool ok = false;
    double wall = 0;
    long peakKib = 0;
};

ChildRun RunChild(const fs::path& systemDirectory, const fs::path& output, const fs::path& roots) {
    ChildRun run;
    auto start = std::chrono::steady_clock::now();
    FILE* pipe = popen(ChildCommand("--engine-child", systemDirectory, output, roots).c_str(), "r");
    if (pipe == nullptr) return run;
    bool read = std::fscanf(pipe, "%ld", &run.peakKib) == 1;
    run.ok = pclose(pipe) == 0 && read;
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

// One build into `output`, keeping a Cat.DB already there; prints the peak
// resident set in KiB.
int EngineChild(const fs::path& systemDirectory, const fs::path& output, const fs::path& rootsDirectory) {
    std::vector<Bytes> codeSigning, timeStamping;
    if (!LoadRoots(rootsDirectory, codeSigning, timeStamping)) return 2;
    EngineBuild engine(codeSigning, timeStamping);
    std::string error;
    if (!engine.Run(systemDirectory, output, nullptr, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("%ld\n", PeakResidentKib());
    return 0;
}

// `rounds` full builds in this process, each into an emptied `output`; one
// line per build: wall and CPU seconds.
int EngineRounds(const fs::path& systemDirectory, const fs::path& output, const fs::path& rootsDirectory,
                 int rounds) {
    std::vector<Bytes> codeSigning, timeStamping;
    if (!LoadRoots(rootsDirectory, codeSigning, timeStamping)) return 2;
    EngineBuild engine(codeSigning, timeStamping);
    std::string error;
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        fs::remove_all(output);
        Timing t = Time([&] { return engine.Run(systemDirectory, output, nullptr, error); }, ok);
        std::printf("%.6f %.6f\n", t.wall, t.cpu);
    }
    return ok ? 0 : 1;
}

// The floor over every catalog below the system directory, printed as
// EngineRounds prints its builds.
int FloorRounds(const fs::path& systemDirectory, int rounds) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(systemDirectory)) {
        if (entry.is_regular_file() && entry.path().extension() == ".cat") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    bool ok = !files.empty();
    for (int round = 0; round < rounds && ok; ++round) {
        Timing t = Time([&] { return ReadAndHashAll(files) > 0; }, ok);
        std::printf("%.6f %.6f\n", t.wall, t.cpu);
    }
    return ok ? 0 : 1;
}

bool EngineRoundsInChild(const fs::path& systemDirectory, const fs::path& output, const fs::path& roots, int rounds,
                         Series& series) {
    // One walking thread, as the engine's own rows: a second thread's heap
    // takes more rounds to settle, and its page faults swayed the median.
    std::string command =
        "KORVA_WORKERS=1 " + ChildCommand("--engine-rounds", systemDirectory, output, roots) + " " + std::to_string(rounds);
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    Timing t;
    while (std::fscanf(pipe, "%lf %lf", &t.wall, &t.cpu) == 2) series.Add(t);
    return pclose(pipe) == 0 && series.wall.size() == static_cast<size_t>(rounds);
}

// What the store keeps of the tree: every distinct member hash of an accepted
// catalog, each accepted catalog's kernel-form name in UTF-16 and 29 bytes of
// record.
uint64_t RawStoredBytes(const Tree& tree) {
    std::set<std::string> hashes;
    uint64_t raw = 0;
    for (const TreeCatalog& catalog : tree.catalogs) {
        if (catalog.malformation != catgen::Malformation::kNone) continue;
        for (const Bytes& hash : catalog.memberHashes) hashes.emplace(hash.begin(), hash.end());
        std::string name = "\\SystemRoot\\SYSTEM32\\CatRoot\\" + catalog.path.parent_path().filename().string() +
                           "\\" + catalog.path.filename().string();
        raw += name.size() * 2 + 29;
    }
    for (const std::string& hash : hashes) raw += hash.size();
    return raw;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool more = i + 1 < argc;
        if (arg == "--catalogs" && more) {
            options.tree.catalogs = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--seed" && more) {
            options.tree.seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--package-members" && more) {
            options.tree.packageMembers = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--rounds" && more) {
            options.rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--work" && more) {
            options.work = argv[++i];
        } else if (arg == "--check-only") {
            options.checkOnly = true;
        } else {
            std::fprintf(stderr,
                         "usage: catalog_tree_bench [--catalogs N] [--seed S] [--package-members M] [--rounds R] "
                         "[--work DIR] [--check-only]\n");
            return false;
        }
    }
    if (options.work.empty()) {
        options.work = fs::temp_directory_path() / ("korva-catalog-tree-" + std::to_string(options.tree.catalogs) +
                                                    "-" + std::to_string(options.tree.seed));
    }
    // Keys outlive the tree: made once, they let a later run start at once.
    options.tree.keyDirectory = fs::temp_directory_path() / "korva-catalog-tree-keys";
    return true;
}

void PrintSeries(const char* name, const Series& s, uint64_t bytes) {
    double wall = Median(s.wall);
    std::printf("  %-7s median %8.3f s wall, %8.3f s cpu   (%.1f MB/s)\n", name, wall, Median(s.cpu),
                wall > 0 ? static_cast<double>(bytes) / wall / 1e6 : 0.0);
}

int Run(const Options& options) {
    std::printf("tree: %zu catalogs + package catalog of %zu members, seed %llu, in %s\n", options.tree.catalogs,
                options.tree.packageMembers, static_cast<unsigned long long>(options.tree.seed),
                options.work.c_str());
    Tree tree;
    std::string error;
    bool ok = true;
    Timing generation = Time([&] { return GenerateTree(options.tree, options.work / "tree", tree, error); }, ok);
    if (!ok) {
        std::fprintf(stderr, "catalog_tree_bench: %s\n", error.c_str());
        return 1;
    }
    size_t members = 0;
    for (const TreeCatalog& catalog : tree.catalogs) members += catalog.memberHashes.size();
    std::printf("generated in %.1f s: %zu files, %.1f MB, %zu member hashes\n", generation.wall,
                tree.catalogs.size(), static_cast<double>(tree.totalBytes) / 1e6, members);

    // The roots as files, for the child processes (and for profiling by hand).
    const fs::path roots = options.work / "roots";
    if (!SaveRoots(roots, tree.codeSigningRoots, tree.timeStampingRoots)) {
        std::fprintf(stderr, "catalog_tree_bench: cannot write %s\n", roots.c_str());
        return 1;
    }
    std::vector<fs::path> files;
    for (const TreeCatalog& catalog : tree.catalogs) files.push_back(catalog.path);
    EngineBuild engine(tree.codeSigningRoots, tree.timeStampingRoots);
    PeerVerifier peer(tree.codeSigningRoots, tree.timeStampingRoots);

    Verdicts engineVerdicts, peerVerdicts;
    const fs::path database = options.work / "db";
    fs::remove_all(database);
    if (!engine.Run(tree.systemDirectory, database, &engineVerdicts, error) ||
        !PeerPass(peer, files, &peerVerdicts)) {
        std::fprintf(stderr, "catalog_tree_bench: %s\n", error.empty() ? "a catalog cannot be read" : error.c_str());
        return 1;
    }
    if (!Agree(tree, engineVerdicts, peerVerdicts)) return 1;
    if (options.checkOnly) return 0;

    Series engineSeries, twoSeries, peerSeries, floorSeries;
    for (int round = 0; round < options.rounds; ++round) {
        for (auto [workers, series] : {std::pair{1u, &engineSeries}, std::pair{2u, &twoSeries}}) {
            TarnVerifyTrustDriver::SetWorkerCount(workers);
            fs::remove_all(database);
            series->Add(Time([&] { return engine.Run(tree.systemDirectory, database, nullptr, error); }, ok));
        }
        TarnVerifyTrustDriver::SetWorkerCount(0);
        peerSeries.Add(Time([&] { return PeerPass(peer, files, nullptr); }, ok));
        floorSeries.Add(Time([&] { return ReadAndHashAll(files) == tree.totalBytes; }, ok));
    }
    if (!ok) {
        std::fprintf(stderr, "catalog_tree_bench: a timed pass failed\n");
        return 1;
    }
    std::printf("\nfull build, %d rounds:\n", options.rounds);
    PrintSeries("engine", engineSeries, tree.totalBytes);
    PrintSeries("2 thr", twoSeries, tree.totalBytes);
    PrintSeries("peer", peerSeries, tree.totalBytes);
    PrintSeries("floor", floorSeries, tree.totalBytes);
    double engineWall = Median(engineSeries.wall), engineCpu = Median(engineSeries.cpu);
    std::printf("  peer/engine %.2fx (target >= 3), engine/floor %.2fx; on CPU time %.2fx and %.2fx (target <= 4)\n",
                Median(peerSeries.wall) / engineWall, engineWall / Median(floorSeries.wall),
                Median(peerSeries.cpu) / engineCpu, engineCpu / Median(floorSeries.cpu));
    std::printf("  two walking threads on %u processors: %.2fx faster in wall time than one (target >= 1.7 on 2)\n",
                std::thread::hardware_concurrency(), engineWall / Median(twoSeries.wall));

    // A second process over the same tree: a full build, then one that finds
    // nothing changed.
    const fs::path childDatabase = options.work / "child-db";
    fs::remove_all(childDatabase);
    ChildRun full = RunChild(tree.systemDirectory, childDatabase, roots);
    ChildRun rerun = RunChild(tree.systemDirectory, childDatabase, roots);
    if (!full.ok || !rerun.ok) {
        std::fprintf(stderr, "catalog_tree_bench: the child build failed\n");
        return 1;
    }
    std::printf("\nchild process: full build %.3f s, no-change rerun %.3f s = %.1f%% (target <= 5%%)\n", full.wall,
                rerun.wall, 100 * rerun.wall / full.wall);
    uint64_t raw = RawStoredBytes(tree);
    uint64_t largest = 0;
    for (const TreeCatalog& catalog : tree.catalogs) largest = std::max(largest, catalog.bytes);
    double limit = 2.0 * static_cast<double>(raw) + static_cast<double>(largest) + 16.0 * 1024 * 1024;
    std::printf("peak memory of the full build %.1f MiB; stored entries %.1f MiB raw, largest catalog %.1f MiB, "
                "Cat.DB %.1f MiB; limit 2 x raw + largest + 16 MiB = %.1f MiB (%s)\n",
                full.peakKib / 1024.0, raw / 1048576.0, largest / 1048576.0,
                fs::file_size(childDatabase / "Cat.DB") / 1048576.0, limit / 1048576.0,
                full.peakKib * 1024.0 <= limit ? "met" : "missed");

    if (tree.packageIndex != SIZE_MAX) {
        // The package catalog alone, in a tree of its own; a child process,
        // since a process keeps the first system directory it looks up.
        const TreeCatalog& package = tree.catalogs[tree.packageIndex];
        const fs::path alone = options.work / "package-only" / "System32";
        const fs::path folder = alone / "CatRoot" / package.path.parent_path().filename();
        fs::remove_all(options.work / "package-only");
        fs::create_directories(folder);
        fs::copy_file(package.path, folder / package.path.filename());
        Series packageEngine, packageFloor;
        for (int round = 0; round < options.rounds; ++round) {
            packageFloor.Add(Time([&] { return ReadAndHashAll({package.path}) == package.bytes; }, ok));
        }
        ok = EngineRoundsInChild(alone, options.work / "package-db", roots, options.rounds, packageEngine) && ok;
        if (!ok) {
            std::fprintf(stderr, "catalog_tree_bench: the package catalog's builds failed\n");
            return 1;
        }
        std::printf("\npackage catalog alone (%zu members, %.1f MB), child process, one worker:\n", package.memberHashes.size(),
                    package.bytes / 1e6);
        PrintSeries("engine", packageEngine, package.bytes);
        PrintSeries("floor", packageFloor, package.bytes);
        std::printf("  engine/floor %.2fx; on CPU time %.2fx (target <= 3)\n",
                    Median(packageEngine.wall) / Median(packageFloor.wall),
                    Median(packageEngine.cpu) / Median(packageFloor.cpu));
    }
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace korva::bench

int main(int argc, char** argv) {
    using namespace korva::bench;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures show as they come, also into a file
    if (argc == 5 && std::strcmp(argv[1], "--engine-child") == 0) return EngineChild(argv[2], argv[3], argv[4]);
    if (argc == 6 && std::strcmp(argv[1], "--engine-rounds") == 0) {
        return EngineRounds(argv[2], argv[3], argv[4], std::max(1, std::atoi(argv[5])));
    }
    if (argc == 4 && std::strcmp(argv[1], "--floor-rounds") == 0) {
        return FloorRounds(argv[2], std::max(1, std::atoi(argv[3])));
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;
    return Run(options);
}
