#include "tests/catalog/CallbackTestSupport.h"

#include <algorithm>
#include <fstream>

#include "catalog/ParseAsn1.h"
#include "catalog/CertResult.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathProvider.h"

namespace korva::catalog_test {

namespace tk = korva::toolkit;
using TarnVerifyTrustDriver::CMicrosoftCatalogCallback;

RootAnchors::RootAnchors(TarnVerifyTrustDriver::CExtraRoots* extra) {
    set_.extraRoots = extra;
    static const tk::ProviderRecord kProviders[] = {{4, "In-memory Database", tk::ImdbInit},
                                                    {6, "Cert Path Processing Provider", tk::PathInit}};
    if (context_.Start(kProviders) == TarnVerifyTrustDriver::kCertSuccess) {
        TarnVerifyTrustDriver::BuildTrustAnchorSet(set_, context_);
    }
}

RootAnchors::~RootAnchors() { TarnVerifyTrustDriver::ReleaseTrustAnchorSet(set_); }

uint32_t WalkCatalog(const Bytes& catalog, CMicrosoftCatalogCallback& callback) {
    if (callback.OnParseBegin() != 0) return TarnVerifyTrustDriver::kWalkOutOfMemory;
    auto* stack = new TarnVerifyTrustDriver::ParserStack();
    if (stack == nullptr || !stack->IsValid()) {
        delete stack;
        return TarnVerifyTrustDriver::kWalkOutOfMemory;
    }
    uint32_t walk = TarnVerifyTrustDriver::ParseAsn1(nullptr, stack, catalog.data(),
                                                     static_cast<uint32_t>(catalog.size()), &callback);
    delete stack;
    return walk;
}


CallbackOutcome Outcome(uint32_t walk, const CMicrosoftCatalogCallback& callback) {
    CallbackOutcome outcome;
    outcome.walk = walk;
    outcome.accepted = walk == TarnVerifyTrustDriver::kWalkSuccess && callback.ContentDigestMatched() &&
                       callback.SignerVerified() && !callback.SignerRejected();
    for (const auto* m = callback.MemberAfter(nullptr); m != nullptr; m = callback.MemberAfter(m)) {
        outcome.members.push_back(ToHex(m->bytes, m->length));
    }
    if (!outcome.accepted) return outcome;
    for (uint32_t number = 1; number <= 4; ++number) {
        const TarnVerifyTrustDriver::CMemory& value = callback.SignerValue(number);
        size_t size = value.size();
        if (number <= 2 && size > 0 && value.data()[size - 1] == 0) --size;
        outcome.signerValues.push_back(ToHex(value.data(), size));
    }
    outcome.flags = callback.SignerFlags();
    outcome.time = callback.TimeValue();
    return outcome;
}

namespace {

// The raw text after `"key": ` up to the end of its value (a string, number,
// array or null), enough for the flat lines of expected.jsonl.
std::string RawValue(const std::string& line, const std::string& key) {
    size_t at = line.find("\"" + key + "\": ");
    if (at == std::string::npos) return {};
    at += key.size() + 4;
    char open = line[at];
    size_t end = open == '"' ? line.find('"', at + 1) + 1 : open == '[' ? line.find(']', at) + 1 : line.find_first_of(",}", at);
    return line.substr(at, end - at);
}

std::vector<std::string> Strings(const std::string& raw) {
    std::vector<std::string> items;
    for (size_t at = raw.find('"'); at != std::string::npos; at = raw.find('"', at)) {
        size_t end = raw.find('"', at + 1);
        items.push_back(raw.substr(at + 1, end - at - 1));
        at = end + 1;
    }
    return items;
}

uint32_t Number(const std::string& raw) { return raw.empty() || raw == "null" ? 0 : std::stoul(raw); }

}  // namespace

std::map<std::string, ExpectedCatalog> ExpectedRealCatalogs() {
    std::map<std::string, ExpectedCatalog> expected;
    std::ifstream in(KORVA_SHARED_DIR "/realcats/expected.jsonl");
    for (std::string line; std::getline(in, line);) {
        ExpectedCatalog entry;
        entry.file = Strings(RawValue(line, "file")).at(0);
        entry.accepted = RawValue(line, "verdict") == "\"accepted\"";
        entry.walk = Number(RawValue(line, "walk_result"));
        entry.members = Strings(RawValue(line, "member_hashes"));
        // A refused walk collects only the members before the refusal.
        entry.members.resize(std::min<size_t>(entry.members.size(),
                                              Number(RawValue(line, "members_collected_before_stop"))));
        entry.signerValues = Strings(RawValue(line, "signer_values"));
        entry.flags = Number(RawValue(line, "signer_flags"));
        entry.time = Number(RawValue(line, "time_value"));
        expected[entry.file] = entry;
    }
    return expected;
}

}  // namespace korva::catalog_test
