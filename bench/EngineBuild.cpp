#include "bench/EngineBuild.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string_view>

#include "catalog/ExtraRoots.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "platform/TextConversion.h"
#include "tools/cattool/CatalogVerdict.h"

namespace korva::bench {

namespace {

namespace fs = std::filesystem;
namespace engine = TarnVerifyTrustDriver;

constexpr uint32_t kCodeSigningGroup = 1;
constexpr uint32_t kTimeStampingGroup = 2;
// Ids clear of the built-in table's.
constexpr uint64_t kFirstRootId = 300;

// The real verification, noting each catalog's verdict and members on the way.
class RecordingVerification : public engine::ICatalogVerification, public engine::ICatalogVerifier {
public:
    RecordingVerification(engine::CCertificateVerification& inner, Verdicts& verdicts)
        : inner_(inner), verdicts_(verdicts) {}

    uint32_t StartContext() override { return inner_.StartContext(); }
    uint32_t SetUpTrustAnchors() override { return inner_.SetUpTrustAnchors(); }
    engine::ICatalogVerifier& Verifier() override { return *this; }
    void ReleaseTrustAnchors() override { inner_.ReleaseTrustAnchors(); }
    void ResetContext() override { inner_.ResetContext(); }
    engine::ICatalogEvidence* CreateCallback(engine::CCallbacks* callbacks) override {
        return inner_.CreateCallback(callbacks);
    }
    uint32_t ParseCatalogFile(const wchar_t* path, engine::ICatalogEvidence& callback,
                              engine::CCallbacks* callbacks) override {
        uint32_t result = inner_.ParseCatalogFile(path, callback, callbacks);
        Verdict verdict;
        verdict.accepted = std::string_view(cattool::CatalogVerdict(result, callback)) == "ok";
        if (verdict.accepted) {
            for (uint32_t i = 0; i < callback.MemberCount(); ++i) {
                auto hash = callback.Member(i).view();
                verdict.memberHashes.emplace_back(hash.begin(), hash.end());
            }
        }
        std::lock_guard<std::mutex> guard(lock_);
        verdicts_[CatalogKey(platform::WideToUtf8(path))] = std::move(verdict);
        return result;
    }

private:
    engine::CCertificateVerification& inner_;
    Verdicts& verdicts_;
    std::mutex lock_;
};

bool ReadFile(const fs::path& path, catgen::Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

std::string CatalogKey(const std::string& path) {
    size_t last = path.find_last_of("/\\");
    if (last == std::string::npos || last == 0) return path;
    size_t before = path.find_last_of("/\\", last - 1);
    size_t start = before == std::string::npos ? 0 : before + 1;
    return path.substr(start, last - start) + "/" + path.substr(last + 1);
}

struct EngineBuild::State {
    engine::CExtraRoots roots;
    engine::CCertificateVerification verification;
    bool rootsAdded = true;
};

EngineBuild::EngineBuild(const std::vector<catgen::Bytes>& codeSigningRoots,
                         const std::vector<catgen::Bytes>& timeStampingRoots)
    : state_(std::make_unique<State>()) {
    uint64_t id = kFirstRootId;
    for (const catgen::Bytes& der : codeSigningRoots) {
        state_->rootsAdded = state_->rootsAdded && state_->roots.Add(kCodeSigningGroup, id++, der) == 1;
    }
    for (const catgen::Bytes& der : timeStampingRoots) {
        state_->rootsAdded = state_->rootsAdded && state_->roots.Add(kTimeStampingGroup, id++, der) == 1;
    }
    state_->verification.TrustExtraRoots(&state_->roots);
}

EngineBuild::~EngineBuild() = default;

bool EngineBuild::Run(const fs::path& systemDirectory, const fs::path& outputDirectory, Verdicts* verdicts,
                      std::string& error) {
    if (!state_->rootsAdded) {
        error = "a test root was refused";
        return false;
    }
    static const fs::path firstSystemDirectory = systemDirectory;
    if (systemDirectory != firstSystemDirectory) {
        error = "the engine keeps the system directory " + firstSystemDirectory.string() + " in this process";
        return false;
    }
    std::error_code ec;
    fs::create_directories(outputDirectory, ec);
    setenv("KORVA_SYSTEM_DIR", systemDirectory.c_str(), 1);  // benchmarks are native POSIX only
    std::unique_ptr<RecordingVerification> recording;
    engine::ICatalogVerification* use = &state_->verification;
    if (verdicts != nullptr) {
        recording = std::make_unique<RecordingVerification>(state_->verification, *verdicts);
        use = recording.get();
    }
    engine::ICatalogVerification* previous = engine::SetCatalogVerification(use);
    engine::CCatalogDatabase* database = nullptr;
    engine::HResult status = engine::CreateCatalogDatabase(outputDirectory.wstring().c_str(), &database);
    if (!engine::Failed(status)) {
        if (auto* instance = engine::CCatalogDatabaseSingleton::Instance()) instance->RunUpdateCycle();
        status = engine::ReleaseCatalogDatabase(database);
    }
    engine::SetCatalogVerification(previous);
    if (engine::Failed(status)) {
        error = "the engine failed with status " + std::to_string(static_cast<uint32_t>(status));
        return false;
    }
    return true;
}

bool SaveRoots(const fs::path& directory, const std::vector<catgen::Bytes>& codeSigningRoots,
               const std::vector<catgen::Bytes>& timeStampingRoots) {
    std::error_code ec;
    fs::create_directories(directory, ec);
    auto save = [&](const std::string& prefix, const std::vector<catgen::Bytes>& roots) {
        for (size_t i = 0; i < roots.size(); ++i) {
            std::ofstream out(directory / (prefix + std::to_string(i) + ".der"), std::ios::binary);
            out.write(reinterpret_cast<const char*>(roots[i].data()), static_cast<std::streamsize>(roots[i].size()));
            if (!out) return false;
        }
        return true;
    };
    return save("cs-", codeSigningRoots) && save("ts-", timeStampingRoots);
}

bool LoadRoots(const fs::path& directory, std::vector<catgen::Bytes>& codeSigningRoots,
               std::vector<catgen::Bytes>& timeStampingRoots) {
    for (auto [prefix, roots] : {std::pair{"cs-", &codeSigningRoots}, std::pair{"ts-", &timeStampingRoots}}) {
        for (size_t i = 0;; ++i) {
            fs::path file = directory / (prefix + std::to_string(i) + ".der");
            if (!fs::exists(file)) break;
            catgen::Bytes der;
            if (!ReadFile(file, der)) return false;
            roots->push_back(std::move(der));
        }
    }
    return !codeSigningRoots.empty();
}

}  // namespace korva::bench
