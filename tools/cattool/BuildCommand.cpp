// build [--trust-test-root DER]... DIR: one update cycle of the engine into
// DIR, as "KorvaCatalogDB /p DIR" runs it, watched: every catalog the engine
// walks is walked through the tool's verifier so that a refusal can be named,
// and the file the cycle leaves is read back through the engine's loader, so
// that "built" means a Cat.DB that loads and holds what the cycle accepted.
// Test roots join the built-in code-signing anchors; each catalog kept is
// then verified again against the built-in roots alone, so the tool can name
// the ones only a test root vouches for.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

#include "catalog/ExtraRoots.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "tools/cattool/CatalogCertificates.h"
#include "tools/cattool/CatalogVerdict.h"
#include "tools/cattool/CatalogWalk.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/DatabaseView.h"
#include "tools/cattool/Json.h"
#include "tools/cattool/LoadReport.h"
#include "tools/cattool/RefusalReason.h"
#include "tools/cattool/TestRoots.h"

namespace korva::cattool {

namespace {

namespace engine = TarnVerifyTrustDriver;

// The engine's events the report is made of.
constexpr uint32_t kEventDatabaseNotOpened = 41;
constexpr uint32_t kEventCatalogScanned = 59;
constexpr uint32_t kEventCatalogRecorded = 29;
constexpr size_t kHeaderSize = 12;

// Verifies each catalog the cycle walks and keeps why it was refused.
class WatchedVerification : public engine::ICatalogVerification, public engine::ICatalogVerifier {
public:
    explicit WatchedVerification(engine::CExtraRoots* roots) : testRoots_(roots != nullptr) {
        if (roots != nullptr) trusting_.TrustExtraRoots(roots);
    }

    uint32_t StartContext() override {
        uint32_t status = trusting_.StartContext();
        return status == kContextStarted && testRoots_ ? builtIn_.StartContext() : status;
    }
    uint32_t SetUpTrustAnchors() override {
        uint32_t status = trusting_.SetUpTrustAnchors();
        return status == 0 && testRoots_ ? builtIn_.SetUpTrustAnchors() : status;
    }
    engine::ICatalogVerifier& Verifier() override { return *this; }
    void ReleaseTrustAnchors() override {
        trusting_.ReleaseTrustAnchors();
        builtIn_.ReleaseTrustAnchors();
    }
    void ResetContext() override {
        trusting_.ResetContext();
        builtIn_.ResetContext();
    }

    engine::ICatalogEvidence* CreateCallback(engine::CCallbacks* callbacks) override {
        return trusting_.CreateCallback(callbacks);
    }
    uint32_t ParseCatalogFile(const wchar_t* path, engine::ICatalogEvidence& callback,
                              engine::CCallbacks* callbacks) override {
        CatalogWalk walk;
        uint32_t result = WalkCatalogWith(trusting_, path, callback, walk);
        Refusal refusal = ClassifyWalk(walk);
        if (refusal.code != nullptr && refusal.code == std::string_view("untrusted-root")) {
            NameChainEnd(path, &callback, refusal.words);
        }
        walked.emplace(path, std::move(refusal));
        if (!testRoots_ || std::string_view(CatalogVerdict(result, callback)) != "ok") return result;
        engine::ICatalogEvidence* plain = builtIn_.CreateCallback(callbacks);
        if (plain == nullptr) return result;
        uint32_t plainResult = builtIn_.ParseCatalogFile(path, *plain, callbacks);
        if (std::string_view(CatalogVerdict(plainResult, *plain)) != "ok") onlyThroughTestRoots.emplace_back(path);
        delete plain;
        return result;
    }

    std::map<std::wstring, Refusal> walked;
    std::vector<std::wstring> onlyThroughTestRoots;

private:
    bool testRoots_;
    engine::CCertificateVerification trusting_;
    engine::CCertificateVerification builtIn_;
};

// What the cycle itself reported: the catalogs it scanned and recorded, and
// why the database file could not be opened.
class CycleEvents : public trace::Sink {
public:
    CycleEvents() : previous_(trace::SetSink(this)) {}
    ~CycleEvents() override { trace::SetSink(previous_); }
    CycleEvents(const CycleEvents&) = delete;
    CycleEvents& operator=(const CycleEvents&) = delete;

    void OnEvent(trace::Source source, uint32_t number, trace::Level level,
                 std::initializer_list<trace::Value> data) override {
        if (source == trace::Source::Engine && number == kEventCatalogScanned) {
            for (const trace::Value& value : data) {
                if (value.kind == trace::Value::Kind::Text) scanned.emplace_back(value.text);
            }
        } else if (source == trace::Source::Store && number == kEventCatalogRecorded && !scanned.empty()) {
            recorded.push_back(scanned.back());
        } else if (source == trace::Source::Engine && number == kEventDatabaseNotOpened && openError == 0) {
            openError = data.size() > 0 && data.begin()->kind == trace::Value::Kind::Number
                            ? static_cast<uint32_t>(data.begin()->number)
                            : platform::kErrorInvalidFunction;
        } else if (source == trace::Source::Store && level <= trace::Level::Warning && !scanned.empty()) {
            storeFailures[scanned.back()] = number;
        }
    }

    std::vector<std::wstring> scanned;
    std::vector<std::wstring> recorded;
    std::map<std::wstring, uint32_t> storeFailures;
    uint32_t openError = 0;

private:
    trace::Sink* previous_;
};

struct RefusedCatalog {
    std::wstring path;
    Refusal refusal;
};

struct BuildReport {
    std::wstring databasePath;
    size_t scanned = 0;
    size_t accepted = 0;
    size_t unchanged = 0;
    std::vector<RefusedCatalog> refused;
    uint64_t milliseconds = 0;
    uint64_t catalogsInFile = 0;
    std::string failure;  // empty when the file holds what the cycle accepted
    uint32_t error = 0;   // the Win32 code behind the failure, when there is one
};

std::string FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"/\\");
    return platform::WideToUtf8(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

void Tally(const CycleEvents& cycle, const WatchedVerification& verification, BuildReport& report) {
    report.scanned = cycle.scanned.size();
    report.accepted = cycle.recorded.size();
    for (const std::wstring& path : cycle.scanned) {
        bool recorded = false;
        for (const std::wstring& kept : cycle.recorded) recorded = recorded || kept == path;
        if (recorded) continue;
        auto walked = verification.walked.find(path);
        auto failed = cycle.storeFailures.find(path);
        if (walked != verification.walked.end() && walked->second.code != nullptr) {
            report.refused.push_back({path, walked->second});
        } else if (walked != verification.walked.end() || failed != cycle.storeFailures.end()) {
            // Verified, but the store could not take it in.
            const uint32_t event = failed != cycle.storeFailures.end() ? failed->second : 0;
            report.refused.push_back(
                {path, {"not-recorded", "verified, but the store could not record it (store event " +
                                            std::to_string(event) + ")"}});
        } else {
            ++report.unchanged;
        }
    }
    // In path order, whatever order the directory listing gave.
    std::sort(report.refused.begin(), report.refused.end(),
              [](const RefusedCatalog& a, const RefusedCatalog& b) { return a.path < b.path; });
}

// Reads the file back as the engine would and checks it holds every catalog
// the cycle accepted.
void CheckFile(const CycleEvents& cycle, BuildReport& report) {
    if (cycle.openError != 0) {
        report.error = cycle.openError;
        report.failure = "Cat.DB cannot be opened for writing: " + ErrorWords(cycle.openError);
        return;
    }
    DatabaseView view;
    uint32_t error = 0;
    if (!OpenDatabaseView(report.databasePath, view, error)) {
        report.error = error;
        report.failure = "Cat.DB cannot be read back: " + ErrorWords(error);
        return;
    }
    // With nothing accepted the engine writes the header alone, which its
    // loader takes for a file to start afresh: nothing is lost.
    if (!view.loads && cycle.recorded.empty() && view.bytes.size() == kHeaderSize) return;
    if (!view.loads) {
        report.failure = "the Cat.DB written " + LoadVerdictText(view);
        return;
    }
    report.catalogsInFile = view.store->records().count();
    size_t missing = 0;
    for (const std::wstring& path : cycle.recorded) {
        if (view.store->names().Find(path) == nullptr) ++missing;
    }
    if (missing != 0) report.failure = std::to_string(missing) + " accepted catalog(s) are not in the Cat.DB written";
}

void WriteText(const BuildReport& report, const std::vector<std::wstring>& rootPaths,
               const std::vector<std::wstring>& only, std::string& out) {
    char summary[256];
    std::snprintf(summary, sizeof summary,
                  "scanned %zu catalog(s): %zu accepted, %zu refused, %zu unchanged, in %.2f s\n", report.scanned,
                  report.accepted, report.refused.size(), report.unchanged,
                  static_cast<double>(report.milliseconds) / 1000);
    out += summary;
    for (const RefusedCatalog& item : report.refused) {
        out += "  refused " + FileName(item.path) + ": " + item.refusal.words + " [" + item.refusal.code + "]\n";
    }
    if (!report.failure.empty()) return;
    out += "Cat.DB built: " + platform::WideToUtf8(report.databasePath) + " holds " +
           std::to_string(report.catalogsInFile) + " catalog(s)\n";
    if (rootPaths.empty()) return;
    out += "test roots trusted: " + std::to_string(rootPaths.size()) + "\n";
    out += only.empty() ? std::string("no catalog needed a test root\n")
                        : "A TEST ROOT WAS USED: " + std::to_string(only.size()) +
                              " catalog(s) are in this Cat.DB only because of a test root; "
                              "KorvaCatalogDB would refuse them:\n";
    for (const std::wstring& path : only) out += "  " + platform::WideToUtf8(path) + "\n";
}

std::string WriteJson(const BuildReport& report, const std::wstring& directory, engine::HResult status,
                      const std::vector<std::wstring>& rootPaths, const std::vector<std::wstring>& only) {
    JsonWriter json;
    json.BeginObject().Key("schema").Number(1).Key("command").String("build");
    json.Key("directory").String(platform::WideToUtf8(directory)).Key("built").Bool(report.failure.empty());
    json.Key("status").Number(static_cast<uint32_t>(status));
    json.Key("database").String(platform::WideToUtf8(report.databasePath));
    json.Key("failure");
    report.failure.empty() ? json.Null() : json.String(report.failure);
    json.Key("error");
    if (report.error != 0) {
        json.BeginObject().Key("code").Number(report.error);
        json.Key("text").String(platform::ErrorText(report.error)).EndObject();
    } else {
        json.Null();
    }
    json.Key("scanned").Number(report.scanned).Key("accepted").Number(report.accepted);
    json.Key("refused").Number(report.refused.size()).Key("unchanged").Number(report.unchanged);
    json.Key("milliseconds").Number(report.milliseconds).Key("catalogsInFile").Number(report.catalogsInFile);
    json.Key("refusedCatalogs").BeginArray();
    for (const RefusedCatalog& item : report.refused) {
        json.BeginObject().Key("file").String(platform::WideToUtf8(item.path)).Key("refusal").String(item.refusal.code);
        json.Key("refusalText").String(item.refusal.words).EndObject();
    }
    json.EndArray().Key("testRoots").BeginArray();
    for (const std::wstring& path : rootPaths) json.String(platform::WideToUtf8(path));
    json.EndArray().Key("testRootUsed").Bool(!only.empty()).Key("onlyThroughTestRoots").BeginArray();
    for (const std::wstring& path : only) json.String(platform::WideToUtf8(path));
    return json.EndArray().EndObject().Finish();
}

}  // namespace

int RunBuild(const Invocation& invocation, CommandOutput& output) {
    std::vector<std::wstring> rootPaths;
    std::vector<std::wstring> rest;
    engine::CExtraRoots roots;
    if (!TakeTestRoots(invocation.operands, rootPaths, rest, roots, output)) return kExitError;
    if (rest.size() != 1) {
        output.err = "KorvaCatalogTool: build takes [--trust-test-root DER]... DIR\n";
        return kExitError;
    }
    const std::wstring& directory = rest[0];
    WatchedVerification verification(rootPaths.empty() ? nullptr : &roots);
    engine::ICatalogVerification* previous = engine::SetCatalogVerification(&verification);

    const auto start = std::chrono::steady_clock::now();
    BuildReport report;
    engine::HResult status = 0;
    {
        CycleEvents cycle;
        engine::CCatalogDatabase* database = nullptr;
        status = engine::CreateCatalogDatabase(directory.c_str(), &database);
        if (!engine::Failed(status)) {
            if (auto* instance = engine::CCatalogDatabaseSingleton::Instance()) {
                instance->RunUpdateCycle();
                report.databasePath = instance->databasePath();
            }
            status = engine::ReleaseCatalogDatabase(database);
        }
        report.milliseconds = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        Tally(cycle, verification, report);
        if (engine::Failed(status)) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(status));
            report.failure = std::string("the engine failed (") + code + ")";
        } else {
            CheckFile(cycle, report);
        }
    }
    engine::SetCatalogVerification(previous);

    const std::vector<std::wstring>& only = verification.onlyThroughTestRoots;
    if (invocation.json) {
        output.out = WriteJson(report, directory, status, rootPaths, only);
    } else {
        WriteText(report, rootPaths, only, output.out);
    }
    if (report.failure.empty()) return kExitSuccess;
    output.err = "KorvaCatalogTool: " + platform::WideToUtf8(directory) + ": build failed: " + report.failure + "\n";
    return kExitError;
}

}  // namespace korva::cattool
