// explain CATALOG.cat...: walks each catalog with the engine's own verifier
// (the certificate context, the built-in trust anchors and a fresh catalog
// callback) and weighs what it found in the order the catalog store does, so
// the verdict is the one a build reaches; then says why in words.
#include <optional>
#include <vector>

#include "catalog/WalkResult.h"
#include "engine/CertificateVerification.h"
#include "platform/Files.h"
#include "platform/TextConversion.h"
#include "toolkit/Certificate.h"
#include "tools/cattool/CatalogCertificates.h"
#include "tools/cattool/CatalogMembers.h"
#include "tools/cattool/CatalogVerdict.h"
#include "tools/cattool/CatalogWalk.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/Json.h"
#include "tools/cattool/RefusalReason.h"
#include "tools/cattool/TestRoots.h"
#include "tools/cattool/Text.h"

namespace korva::cattool {

namespace {

using TarnVerifyTrustDriver::CCertificateVerification;
using TarnVerifyTrustDriver::ICatalogEvidence;

constexpr const wchar_t* kMembersOption = L"--members";
constexpr const char* kSignerValueNames[4] = {"subject", "issuer", "serial", "certificate-sha1"};

struct Explanation {
    CatalogWalk walk;
    CatalogCertificates certificates;
    std::optional<std::vector<CatalogMember>> members;  // with --members
    Refusal refusal;
    std::string reasonClass;
    const char* reason = "no-callback";
    bool accepted = false;
    uint32_t readError = 0;  // a Win32 code when the file cannot be read
};

std::span<const uint8_t> ValueBytes(const ICatalogEvidence& evidence, uint32_t number) {
    return evidence.SignerValue(number).bytes();
}

// The warnings and errors of the verification itself; the walker's own
// summary repeats the walk result.
bool Reported(const WalkEvent& event) {
    return event.level <= trace::Level::Warning && event.source != trace::Source::Asn1;
}

// Why a file that the walk could not open cannot be read, in the host's words.
uint32_t OpenError(const std::wstring& path) {
    platform::FileHandle file = platform::OpenFile(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                                                   platform::kOpenExisting, 0);
    if (file == platform::InvalidFileHandle()) return platform::LastError();
    platform::CloseFile(file);
    return platform::kErrorInvalidFunction;
}

void Line(std::string& out, const char* label, const std::string& text) {
    char padded[24];
    std::snprintf(padded, sizeof padded, "  %-18s", label);
    out += padded + text + "\n";
}

void WriteVerbose(const Explanation& item, std::string& out) {
    const CatalogWalk& walk = item.walk;
    Line(out, "verdict", std::string(item.reason) + (item.reasonClass != item.reason ? " (" + item.reasonClass + ")" : ""));
    Line(out, "walk result", std::to_string(walk.walkResult));
    if (walk.stop.seen) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "the catalog callback (answer %u) at the element at offset %u, depth %u, tag %u, class 0x%02x, "
                      "index %u",
                      walk.stop.answer, walk.stop.offset, walk.stop.depth, walk.stop.tag, walk.stop.tagClass & 0xE0,
                      walk.stop.index);
        Line(out, "stopped by", line);
    }
    for (const WalkEvent& event : walk.events) {
        if (Reported(event)) Line(out, "rule", event.text);
    }
}

std::string Validity(const CertificateInfo& certificate) {
    return IsoFromUnixSeconds(certificate.notBefore) + " to " +
           (certificate.notAfter == toolkit::kNotAfterUnbounded ? std::string("no end")
                                                                : IsoFromUnixSeconds(certificate.notAfter));
}

void WriteCertificateText(const char* label, const CertificateInfo& certificate, std::string& out) {
    Line(out, label, "\"" + certificate.subject + "\"");
    Line(out, "", "issued by \"" + certificate.issuer + "\"");
    Line(out, "", "valid " + Validity(certificate));
    Line(out, "", "sha1 " + certificate.sha1);
}

// The signer's chain from the signer up, as signtool shows it, where the
// chain ends, and who countersigned when.
void WriteCertificatesText(const CatalogCertificates& certificates, const ICatalogEvidence& evidence,
                           std::string& out) {
    for (size_t i = 0; i < certificates.chain.size(); ++i) {
        WriteCertificateText(i == 0 ? "signer chain" : "", certificates.all[certificates.chain[i]], out);
    }
    if (!certificates.chain.empty()) Line(out, "chain ends at", "\"" + ChainEnd(certificates) + "\"");
    if (certificates.countersigner) {
        WriteCertificateText("countersigner", certificates.all[*certificates.countersigner], out);
        if (evidence.TimeValue() != 0) Line(out, "", "signed at " + IsoFromUnixSeconds(evidence.TimeValue()));
    }
}

void CertificateJson(const CertificateInfo& certificate, JsonWriter& json) {
    json.BeginObject().Key("subject").String(certificate.subject).Key("issuer").String(certificate.issuer);
    json.Key("notBefore").String(IsoFromUnixSeconds(certificate.notBefore)).Key("notAfter");
    certificate.notAfter == toolkit::kNotAfterUnbounded ? json.Null() : json.String(IsoFromUnixSeconds(certificate.notAfter));
    json.Key("sha1").String(certificate.sha1).EndObject();
}

void WriteText(const Explanation& item, bool verbose, std::string& out) {
    const CatalogWalk& walk = item.walk;
    out += platform::WideToUtf8(walk.path) + ": " + (item.accepted ? "accepted" : "refused");
    if (item.refusal.code != nullptr) out += std::string(": ") + item.refusal.code;
    out += "\n";
    if (item.refusal.code != nullptr) Line(out, "reason", item.refusal.words);
    if (verbose) WriteVerbose(item, out);
    if (walk.evidence == nullptr || walk.walkResult == TarnVerifyTrustDriver::kWalkEmptyFile) return;
    const ICatalogEvidence& evidence = *walk.evidence;
    Line(out, "content digest", evidence.ContentDigestMatched() ? "matched" : "not matched");
    Line(out, "signer", std::string(evidence.SignerVerified() ? "verified" : "not verified") +
                            (evidence.SignerRejected() ? ", rejected by policy" : ""));
    for (uint32_t number = 1; number <= 4; ++number) {
        std::span<const uint8_t> bytes = ValueBytes(evidence, number);
        if (bytes.empty()) continue;
        std::optional<std::string> text = number <= 2 ? PrintableText(bytes) : std::nullopt;
        Line(out, kSignerValueNames[number - 1], text ? "\"" + *text + "\"" : Hex(bytes));
    }
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08x", evidence.SignerFlags());
    std::string flagText = flags;
    for (const std::string& name : SignerFlagNames(evidence.SignerFlags())) flagText += " " + name;
    Line(out, "signer flags", flagText);
    std::string time = std::to_string(evidence.TimeValue());
    if (evidence.TimeValue() != 0) time += " (" + IsoFromUnixSeconds(evidence.TimeValue()) + ")";
    Line(out, "time value", time);
    Line(out, "member hashes", std::to_string(evidence.MemberCount()));
    WriteCertificatesText(item.certificates, evidence, out);
    if (!item.members) return;
    Line(out, "members", std::to_string(item.members->size()) + " in the trust list");
    for (const CatalogMember& member : *item.members) {
        out += "    " + (member.hash.empty() ? std::string("(no SHA-1 or SHA-256 digest)") : Hex(member.hash)) +
               (member.file.empty() ? "" : "  " + member.file) + "\n";
    }
}

void WriteJson(const Explanation& item, JsonWriter& json) {
    const CatalogWalk& walk = item.walk;
    json.BeginObject().Key("file").String(platform::WideToUtf8(walk.path));
    json.Key("accepted").Bool(item.accepted);
    if (item.readError != 0) {
        json.Key("error").BeginObject().Key("code").Number(item.readError);
        json.Key("text").String(platform::ErrorText(item.readError)).EndObject();
        json.EndObject();
        return;
    }
    json.Key("refusal");
    item.refusal.code != nullptr ? json.String(item.refusal.code) : json.Null();
    json.Key("refusalText");
    item.refusal.code != nullptr ? json.String(item.refusal.words) : json.Null();
    json.Key("reason").String(item.reason);
    json.Key("reasonClass").String(item.reasonClass);
    json.Key("walkResult").Number(walk.walkResult).Key("stoppedAt");
    if (walk.stop.seen) {
        json.BeginObject().Key("answer").Number(walk.stop.answer).Key("offset").Number(walk.stop.offset);
        json.Key("depth").Number(walk.stop.depth).Key("tag").Number(walk.stop.tag);
        json.Key("class").Number(walk.stop.tagClass & 0xE0).Key("index").Number(walk.stop.index).EndObject();
    } else {
        json.Null();
    }
    json.Key("events").BeginArray();
    for (const WalkEvent& event : walk.events) {
        if (!Reported(event)) continue;
        json.BeginObject().Key("source").String(trace::SourceName(event.source)).Key("number").Number(event.number);
        json.Key("values").BeginArray();
        for (uint64_t value : event.values) json.Number(value);
        json.EndArray().Key("text").String(event.text).EndObject();
    }
    json.EndArray();
    if (walk.evidence != nullptr) {
        const ICatalogEvidence& evidence = *walk.evidence;
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
    const CatalogCertificates& certificates = item.certificates;
    json.Key("chain").BeginArray();
    for (size_t index : certificates.chain) CertificateJson(certificates.all[index], json);
    json.EndArray().Key("chainEnd");
    certificates.chain.empty() ? json.Null() : json.String(ChainEnd(certificates));
    json.Key("countersigner");
    if (certificates.countersigner) CertificateJson(certificates.all[*certificates.countersigner], json); else json.Null();
    if (item.members) {
        json.Key("members").BeginArray();
        for (const CatalogMember& member : *item.members) {
            json.BeginObject().Key("hash");
            member.hash.empty() ? json.Null() : json.String(Hex(member.hash));
            json.Key("file");
            member.file.empty() ? json.Null() : json.String(member.file);
            json.EndObject();
        }
        json.EndArray();
    }
    json.EndObject();
}

}  // namespace

int RunExplain(const Invocation& invocation, CommandOutput& output) {
    std::vector<std::wstring> rootPaths;
    std::vector<std::wstring> paths;
    TarnVerifyTrustDriver::CExtraRoots roots;
    if (!TakeTestRoots(invocation.operands, rootPaths, paths, roots, output)) return kExitError;
    const bool listMembers = std::erase(paths, std::wstring(kMembersOption)) != 0;
    CCertificateVerification verification;
    if (!rootPaths.empty()) verification.TrustExtraRoots(&roots);
    if (verification.StartContext() != TarnVerifyTrustDriver::ICatalogVerification::kContextStarted ||
        verification.SetUpTrustAnchors() != 0) {
        output.err = "KorvaCatalogTool: the trust anchors cannot be set up\n";
        verification.ReleaseTrustAnchors();
        verification.ResetContext();
        return kExitError;
    }
    std::vector<Explanation> items;
    bool unreadable = false;
    for (const std::wstring& path : paths) {
        Explanation& item = items.emplace_back();
        WalkCatalog(verification, path, item.walk);
        if (item.walk.evidence != nullptr) item.reason = CatalogVerdict(item.walk.walkResult, *item.walk.evidence);
        item.accepted = std::string_view(item.reason) == "ok";
        item.reasonClass = item.accepted ? "ok" : VerdictClass(item.walk, item.reason);
        item.refusal = ClassifyWalk(item.walk);
        item.certificates = ReadCatalogCertificates(path, item.walk.evidence);
        if (listMembers) item.members = ReadCatalogMembers(path);
        const std::string end = ChainEnd(item.certificates);
        if (item.refusal.code != nullptr && item.refusal.code == std::string_view("untrusted-root") && !end.empty()) {
            item.refusal.words += " (it ends at \"" + end + "\")";
        }
        if (item.walk.walkResult == TarnVerifyTrustDriver::kWalkCannotOpen ||
            item.walk.walkResult == TarnVerifyTrustDriver::kWalkCannotRead) {
            item.readError = OpenError(path);
            output.err += ReadError(path, item.readError);
            unreadable = true;
        }
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
        for (const Explanation& item : items) {
            if (item.readError == 0) WriteText(item, invocation.verbose, output.out);
        }
    }
    items.clear();  // the callbacks hold references into the anchor set
    verification.ReleaseTrustAnchors();
    verification.ResetContext();
    if (unreadable) return kExitError;
    return all ? kExitSuccess : kExitNegative;
}

}  // namespace korva::cattool
