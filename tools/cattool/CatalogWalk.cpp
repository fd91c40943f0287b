#include "tools/cattool/CatalogWalk.h"

#include <cstdint>

#include "catalog/ParseAsn1.h"
#include "catalog/WalkResult.h"
#include "platform/Types.h"
#include "platform/WholeFile.h"

namespace korva::cattool {

namespace {

// Keeps the verification's own events while one catalog is walked, so the
// rule that refused it is named by the code that applied it.
class WalkRecorder : public trace::Sink {
public:
    explicit WalkRecorder(std::vector<WalkEvent>& events) : events_(events), previous_(trace::SetSink(this)) {}
    ~WalkRecorder() override { trace::SetSink(previous_); }
    WalkRecorder(const WalkRecorder&) = delete;
    WalkRecorder& operator=(const WalkRecorder&) = delete;

    void OnEvent(trace::Source source, uint32_t number, trace::Level level,
                 std::initializer_list<trace::Value> data) override {
        if (level > trace::Level::Information) return;
        WalkEvent& event = events_.emplace_back();
        event.source = source;
        event.number = number;
        event.level = level;
        for (const trace::Value& value : data) {
            if (value.kind == trace::Value::Kind::Number) event.values.push_back(value.number);
        }
        event.text = trace::FormatEvent(source, number, level, data);
    }

private:
    std::vector<WalkEvent>& events_;
    trace::Sink* previous_;
};

}  // namespace

bool ReadCatalogFile(const std::wstring& path, std::vector<uint8_t>& bytes) {
    return platform::ReadWholeFile(path.c_str(), UINT32_MAX, bytes) == platform::kErrorSuccess;
}

uint32_t WalkCatalogBytes(std::span<const uint8_t> catalog, TarnVerifyTrustDriver::IAsn1NodeCallback& callback) {
    if (catalog.empty() || catalog.size() > UINT32_MAX) return TarnVerifyTrustDriver::kWalkEmptyFile;
    TarnVerifyTrustDriver::ParserStack stack;
    return TarnVerifyTrustDriver::ParseAsn1(nullptr, &stack, catalog.data(), static_cast<uint32_t>(catalog.size()),
                                           &callback);
}

bool CatalogWalk::Traced(trace::Source source, uint32_t number) const {
    for (const WalkEvent& event : events) {
        if (event.source == source && event.number == number) return true;
    }
    return false;
}

uint64_t CatalogWalk::TracedValue(trace::Source source, uint32_t number, uint64_t otherwise) const {
    for (const WalkEvent& event : events) {
        if (event.source == source && event.number == number && !event.values.empty()) return event.values[0];
    }
    return otherwise;
}

void WalkCatalog(TarnVerifyTrustDriver::CCertificateVerification& verification, const std::wstring& path,
                 CatalogWalk& walk) {
    walk.path = path;
    walk.owned.reset(verification.CreateCallback(nullptr));
    if (walk.owned != nullptr) WalkCatalogWith(verification, path, *walk.owned, walk);
}

uint32_t WalkCatalogWith(TarnVerifyTrustDriver::CCertificateVerification& verification, const std::wstring& path,
                         TarnVerifyTrustDriver::ICatalogEvidence& callback, CatalogWalk& walk) {
    walk.path = path;
    walk.evidence = &callback;
    WalkRecorder recorder(walk.events);
    walk.walkResult = verification.ParseCatalogFile(path.c_str(), callback, nullptr, walk.stop);
    return walk.walkResult;
}

}  // namespace korva::cattool
