// explain CATALOG.cat...: walks each catalog with the engine's own verifier
// (the certificate context, the built-in trust anchors and a fresh catalog
// callback) and weighs what it found in the order the catalog store does, so
// the verdict is the one a build reaches.
#include <memory>
#include <vector>

#include "catalog/WalkResult.h"
#include "engine/CertificateVerification.h"
#include "platform/TextConversion.h"
#include "platform/Trace.h"
#include "tools/cattool/CatalogVerdict.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/Json.h"
#include "tools/cattool/Text.h"

namespace korva::cattool {

namespace {

using TarnVerifyTrustDriver::CCertificateVerification;
using TarnVerifyTrustDriver::ICatalogEvidence;

constexpr const char* kSignerValueNames[4] = {"subject", "issuer", "serial", "certificate-sha1"};

// One warning or error the callback or the certificate code traced during a walk.
struct WalkEvent {
    std::string source;
    uint32_t number = 0;
    std::vector<uint64_t> values;
    std::string text;
};

// Keeps the verification's own warnings while one catalog is walked, so the
// rule that refused it is named by the code that applied it.
class WalkEvents : public trace::Sink {
public:
    WalkEvents(std::vector<WalkEvent>& events, std::vector<uint32_t>& callbackEvents)
        : events_(events), callbackEvents_(callbackEvents), previous_(trace::SetSink(this)) {}
    ~WalkEvents() override { trace::SetSink(previous_); }
    WalkEvents(const WalkEvents&) = delete;
    WalkEvents& operator=(const WalkEvents&) = delete;

    void OnEvent(trace::Source source, uint32_t number, trace::Level level,
                 std::initializer_list<trace::Value> data) override {
        if (source == trace::Source::Callback && level <= trace::Level::Information) callbackEvents_.push_back(number);
        // The walker's own summary repeats the walk result.
        if (level > trace::Level::Warning || source == trace::Source::Asn1) return;
        WalkEvent& event = events_.emplace_back();
        event.source = trace::SourceName(source);
        event.number = number;
        for (const trace::Value& value : data) {
            if (value.kind == trace::Value::Kind::Number) event.values.push_back(value.number);
        }
        event.text = trace::FormatEvent(source, number, level, data);
    }

private:
    std::vector<WalkEvent>& events_;
    std::vector<uint32_t>& callbackEvents_;
    trace::Sink* previous_;
};

struct Explanation {
    std::wstring path;
    uint32_t walkResult = 0;
    TarnVerifyTrustDriver::StoppingNode stop;
    std::vector<WalkEvent> events;
    std::vector<uint32_t> callbackEvents;  // every traced step of the callback, in order
    std::string reasonClass;
    std::unique_ptr<ICatalogEvidence> evidence;  // null when none could be made
    const char* reason = "no-callback";
    bool accepted = false;
};

std::span<const uint8_t> ValueBytes(const ICatalogEvidence& evidence, uint32_t number) {
    const auto& value = evidence.SignerValue(number);
    return value.bytes();
}

// Callback steps that name why a signer was not verified.
constexpr uint32_t kEventSelfSignedLeftOut = 42;
constexpr uint32_t kEventPathWithoutAnchor = 76;
// Where SignedData's fields sit: ContentInfo, its [0], SignedData, the field.
constexpr uint32_t kSignedDataFieldDepth = 3;

bool Traced(const Explanation& item, uint32_t number) {
    for (uint32_t event : item.callbackEvents) {
        if (event == number) return true;
    }
    return false;
}

// SignedData's field from the refused element's tag and place.
const char* SignedDataField(const TarnVerifyTrustDriver::StoppingNode& stop) {
    const bool context = (stop.tagClass & 0xC0) == 0x80;
    if (context) return stop.tag == 0 ? "certificates" : "crls";
    if (stop.tag == 2) return "version";
    if (stop.tag == 16) return "contentInfo";
    if (stop.tag == 17) return stop.index <= 1 ? "digestAlgorithms" : "signerInfos";
    return "unknown";
}

// The class of a verdict: the verdict's name, made finer where the callback's
// steps or the refused element say more.
std::string ReasonClass(const Explanation& item) {
    if (item.accepted) return "ok";
    if (Traced(item, kEventPathWithoutAnchor)) return "chain-not-to-list1";
    if (item.walkResult == TarnVerifyTrustDriver::kWalkSucceeded && Traced(item, kEventSelfSignedLeftOut) &&
        !item.evidence->SignerVerified()) {
        return "signer-self-signed";
    }
    if (item.stop.seen && item.stop.depth == kSignedDataFieldDepth) {
        return std::string("unsigned:shape:") + SignedDataField(item.stop);
    }
    return item.reason;
}

void WriteText(const Explanation& item, std::string& out) {
    out += platform::WideToUtf8(item.path) + ": " + (item.accepted ? "accepted" : "refused") + " (" + item.reason +
           (item.reasonClass != item.reason ? ": " + item.reasonClass : std::string()) + ")\n";
    out += "  walk result       " + std::to_string(item.walkResult) + "\n";
    if (item.stop.seen) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "  stopped by        the catalog callback (answer %u) at the element at offset %u, depth %u, "
                      "tag %u, class 0x%02x, index %u\n",
                      item.stop.answer, item.stop.offset, item.stop.depth, item.stop.tag, item.stop.tagClass & 0xE0,
                      item.stop.index);
        out += line;
    }
    for (const WalkEvent& event : item.events) out += "  rule              " + event.text + "\n";
    if (item.evidence == nullptr) return;
    const ICatalogEvidence& evidence = *item.evidence;
    out += std::string("  content digest    ") + (evidence.ContentDigestMatched() ? "matched" : "not matched") + "\n";
    out += std::string("  signer            ") + (evidence.SignerVerified() ? "verified" : "not verified") +
           (evidence.SignerRejected() ? ", rejected by policy" : "") + "\n";
    for (uint32_t number = 1; number <= 4; ++number) {
        std::span<const uint8_t> bytes = ValueBytes(evidence, number);
        if (bytes.empty()) continue;
        std::optional<std::string> text = number <= 2 ? PrintableText(bytes) : std::nullopt;
        char label[24];
        std::snprintf(label, sizeof label, "  %-18s", kSignerValueNames[number - 1]);
        out += label + (text ? "\"" + *text + "\"" : Hex(bytes)) + "\n";
    }
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08x", evidence.SignerFlags());
    out += std::string("  signer flags      ") + flags;
    for (const std::string& name : SignerFlagNames(evidence.SignerFlags())) out += " " + name;
    out += "\n  time value        " + std::to_string(evidence.TimeValue());
    if (evidence.TimeValue() != 0) out += " (" + IsoFromUnixSeconds(evidence.TimeValue()) + ")";
    out += "\n  member hashes     " + std::to_string(evidence.MemberCount()) + "\n";
}

void WriteJson(const Explanation& item, JsonWriter& json) {
    json.BeginObject().Key("file").String(platform::WideToUtf8(item.path));
    json.Key("accepted").Bool(item.accepted).Key("reason").String(item.reason);
    json.Key("reasonClass").String(item.reasonClass);
    json.Key("walkResult").Number(item.walkResult).Key("stoppedAt");
    if (item.stop.seen) {
        json.BeginObject().Key("answer").Number(item.stop.answer).Key("offset").Number(item.stop.offset);
        json.Key("depth").Number(item.stop.depth).Key("tag").Number(item.stop.tag);
        json.Key("class").Number(item.stop.tagClass & 0xE0).Key("index").Number(item.stop.index).EndObject();
    } else {
        json.Null();
    }
    json.Key("events").BeginArray();
    for (const WalkEvent& event : item.events) {
        json.BeginObject().Key("source").String(event.source).Key("number").Number(event.number);
        json.Key("values").BeginArray();
        for (uint64_t value : event.values) json.Number(value);
        json.EndArray().Key("text").String(event.text).EndObject();
    }
    json.EndArray();
    if (item.evidence != nullptr) {
        const ICatalogEvidence& evidence = *item.evidence;
        json.Key("contentDigestMatched").Bool(evidence.ContentDigestMatched());
        json.Key("signerVerified").Bool(evidence.SignerVerified());
        json.Key("signerRejected").Bool(evidence.SignerRejected());
        json.Key("signerValues").BeginObject();
        for (uint32_t number = 1; number <= 4; ++number) {
            std::span<const uint8_t> bytes = ValueBytes(evidence, number);
            json.Key(kSignerValueNames[number - 1]).BeginObject().Key("hex");
            if (bytes.empty()) json.Null(); else json.String(Hex(bytes));
            std::optional<std::string> text = number <= 2 ? PrintableText(bytes) : std::nullopt;
            json.Key("text");
            if (text && !bytes.empty()) json.String(*text); else json.Null();
            json.EndObject();
        }
        json.EndObject();
        json.Key("signerFlags").BeginObject().Key("value").Number(evidence.SignerFlags()).Key("bits").BeginArray();
        for (const std::string& name : SignerFlagNames(evidence.SignerFlags())) json.String(name);
        json.EndArray().EndObject();
        json.Key("timeValue").Number(evidence.TimeValue()).Key("time");
        if (evidence.TimeValue() != 0) json.String(IsoFromUnixSeconds(evidence.TimeValue())); else json.Null();
        json.Key("memberCount").Number(evidence.MemberCount());
    }
    json.EndObject();
}

}  // namespace

int RunExplain(const Invocation& invocation, CommandOutput& output) {
    CCertificateVerification verification;
    if (verification.StartContext() != TarnVerifyTrustDriver::ICatalogVerification::kContextStarted ||
        verification.SetUpTrustAnchors() != 0) {
        output.err = "KorvaCatalogTool: the trust anchors cannot be set up\n";
        verification.ReleaseTrustAnchors();
        verification.ResetContext();
        return kExitError;
    }
    std::vector<Explanation> items;
    bool unreadable = false;
    for (const std::wstring& path : invocation.operands) {
        Explanation item;
        item.path = path;
        item.evidence.reset(verification.CreateCallback(nullptr));
        if (item.evidence != nullptr) {
            WalkEvents events(item.events, item.callbackEvents);
            item.walkResult = verification.ParseCatalogFile(path.c_str(), *item.evidence, nullptr, item.stop);
        }
        if (item.evidence != nullptr) item.reason = CatalogVerdict(item.walkResult, *item.evidence);
        item.accepted = std::string_view(item.reason) == "ok";
        item.reasonClass = ReasonClass(item);
        if (item.walkResult == TarnVerifyTrustDriver::kWalkCannotOpen ||
            item.walkResult == TarnVerifyTrustDriver::kWalkCannotRead) {
            output.err += "KorvaCatalogTool: " + platform::WideToUtf8(path) + ": cannot read (walk result " +
                          std::to_string(item.walkResult) + ")\n";
            unreadable = true;
            continue;
        }
        items.push_back(std::move(item));
    }
    bool all = true;
    for (const Explanation& item : items) all = all && item.accepted;
    if (invocation.json) {
        JsonWriter json;
        json.BeginObject().Key("schema").Number(1).Key("command").String("explain");
        json.Key("accepted").Bool(all).Key("catalogs").BeginArray();
        for (const Explanation& item : items) WriteJson(item, json);
        output.out = json.EndArray().EndObject().Finish();
    } else {
        for (const Explanation& item : items) WriteText(item, output.out);
    }
    items.clear();  // the callbacks hold references into the anchor set
    verification.ReleaseTrustAnchors();
    verification.ResetContext();
    if (unreadable) return kExitError;
    return all ? kExitSuccess : kExitNegative;
}

}  // namespace korva::cattool
