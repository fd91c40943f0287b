// explain CATALOG.cat...: walks each catalog with the engine's own verifier
// (the certificate context, the built-in trust anchors and a fresh catalog
// callback) and weighs what it found in the order the catalog store does, so
// the verdict is the one a build reaches.
#include <memory>

#include "engine/CertificateVerification.h"
#include "platform/TextConversion.h"
#include "tools/cattool/CatalogVerdict.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/Json.h"
#include "tools/cattool/Text.h"

namespace korva::cattool {

namespace {

using TarnVerifyTrustDriver::CCertificateVerification;
using TarnVerifyTrustDriver::ICatalogEvidence;

constexpr const char* kSignerValueNames[4] = {"subject", "issuer", "serial", "certificate-sha1"};

struct Explanation {
    std::wstring path;
    uint32_t walkResult = 0;
    std::unique_ptr<ICatalogEvidence> evidence;  // null when none could be made
    const char* reason = "no-callback";
    bool accepted = false;
};

std::span<const uint8_t> ValueBytes(const ICatalogEvidence& evidence, uint32_t number) {
    const auto& value = evidence.SignerValue(number);
    return value.bytes();
}

void WriteText(const Explanation& item, std::string& out) {
    out += platform::WideToUtf8(item.path) + ": " + (item.accepted ? "accepted" : "refused") + " (" + item.reason +
           ")\n";
    out += "  walk result       " + std::to_string(item.walkResult) + "\n";
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
    json.Key("walkResult").Number(item.walkResult);
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
    for (const std::wstring& path : invocation.operands) {
        Explanation& item = items.emplace_back();
        item.path = path;
        item.evidence.reset(verification.CreateCallback(nullptr));
        if (item.evidence != nullptr) item.walkResult = verification.ParseCatalogFile(path.c_str(), *item.evidence, nullptr);
        if (item.evidence != nullptr) item.reason = CatalogVerdict(item.walkResult, *item.evidence);
        item.accepted = std::string_view(item.reason) == "ok";
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
    return all ? kExitSuccess : kExitNegative;
}

}  // namespace korva::cattool
