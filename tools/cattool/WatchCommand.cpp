// watch [--trust-test-root DER]... DIR: stays resident as the system's catalog
// service does. One update cycle at start, then one each time a catalog
// directory changes, with a line per cycle, until interrupted; the engine's
// last save leaves a complete Cat.DB. It sleeps on the change notifications.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "catalog/ExtraRoots.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "platform/Interrupt.h"
#include "platform/TextConversion.h"
#include "platform/Trace.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/TestRoots.h"

namespace korva::cattool {

namespace {

namespace engine = TarnVerifyTrustDriver;

// How long one wait lasts at most: the wake-up that notices a Windows Ctrl-C
// (its handler runs on another thread) or a POSIX signal that came just
// before the wait began, and the rescan period of a directory without a watch.
constexpr uint32_t kLongestWaitMs = 1000;

// Counts the catalogs a cycle takes in (the store's event 29) and refuses
// (the engine's event 61), passing every event on to the sink before it.
class CycleCounter : public trace::Sink {
public:
    CycleCounter() : previous_(trace::SetSink(this)) {}
    ~CycleCounter() override { trace::SetSink(previous_); }
    CycleCounter(const CycleCounter&) = delete;
    CycleCounter& operator=(const CycleCounter&) = delete;

    void OnEvent(trace::Source source, uint32_t number, trace::Level level,
                 std::initializer_list<trace::Value> data) override {
        if (source == trace::Source::Store && number == 29) ++added;
        if (source == trace::Source::Engine && number == 61) ++refused;
        if (previous_ != nullptr) previous_->OnEvent(source, number, level, data);
    }

    uint32_t added = 0;
    uint32_t refused = 0;

private:
    trace::Sink* previous_;
};

// One cycle and its line, written at once: the command runs until stopped.
void Cycle(engine::CCatalogDatabaseSingleton& instance, uint32_t number) {
    CycleCounter counter;
    auto start = std::chrono::steady_clock::now();
    instance.RunUpdateCycle();
    auto taken = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("cycle %u: %u added, %u refused, %lld ms\n", number, counter.added, counter.refused,
                static_cast<long long>(taken.count()));
    std::fflush(stdout);
}

}  // namespace

int RunWatch(const Invocation& invocation, CommandOutput& output) {
    std::vector<std::wstring> rootPaths;
    std::vector<std::wstring> rest;
    engine::CExtraRoots roots;
    if (!TakeTestRoots(invocation.operands, rootPaths, rest, roots, output)) return kExitError;
    if (rest.size() != 1) {
        output.err = "KorvaCatalogTool: watch takes [--trust-test-root DER]... DIR\n";
        return kExitError;
    }
    const std::wstring& directory = rest[0];
    if (!platform::InstallInterruptHandler()) {
        output.err = "KorvaCatalogTool: watch cannot catch interruptions\n";
        return kExitError;
    }
    engine::CCertificateVerification trusting;
    engine::ICatalogVerification* previous = nullptr;
    if (!rootPaths.empty()) {
        trusting.TrustExtraRoots(&roots);
        previous = engine::SetCatalogVerification(&trusting);
    }
    std::wstring databasePath;
    engine::CCatalogDatabase* database = nullptr;
    engine::HResult status = engine::CreateCatalogDatabase(directory.c_str(), &database);
    if (!engine::Failed(status)) {
        if (auto* instance = engine::CCatalogDatabaseSingleton::Instance()) {
            databasePath = instance->databasePath();
            uint32_t cycles = 0;
            Cycle(*instance, ++cycles);
            while (!platform::Interrupted()) {
                if (instance->WaitForCatalogChange(kLongestWaitMs) && !platform::Interrupted()) {
                    Cycle(*instance, ++cycles);
                }
            }
        }
        status = engine::ReleaseCatalogDatabase(database);
    }
    if (!rootPaths.empty()) engine::SetCatalogVerification(previous);
    if (engine::Failed(status) || databasePath.empty()) {
        output.err = "KorvaCatalogTool: " + platform::WideToUtf8(directory) + ": the engine failed\n";
        return kExitError;
    }
    output.out = "stopped; Cat.DB: " + platform::WideToUtf8(databasePath) + "\n";
    return kExitSuccess;
}

}  // namespace korva::cattool
