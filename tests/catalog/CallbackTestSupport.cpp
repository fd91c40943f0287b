#include "tests/catalog/CallbackTestSupport.h"

#include <algorithm>
#include <fstream>

#include "catalog/ParseAsn1.h"
#include "catalog/CertResult.h"
#include "toolkit/Imdb.h"
#include "tests/common/FlatJson.h"
#include "toolkit/PathProvider.h"

namespace korva::catalog_test {

namespace tk = korva::toolkit;
using korva::test::JsonRaw;
using korva::test::JsonString;
using korva::test::JsonStrings;
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
    for (uint32_t i = 0; i < callback.MemberCount(); ++i) {
        outcome.members.push_back(ToHex(callback.Member(i).bytes, callback.Member(i).length));
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

CallbackOutcome RunCallback(const Bytes& catalog, const TarnVerifyTrustDriver::TrustAnchorSet& anchors) {
    CMicrosoftCatalogCallback callback(anchors);
    return Outcome(WalkCatalog(catalog, callback), callback);
}

std::vector<std::string> HexStrings(const std::vector<Bytes>& values) {
    std::vector<std::string> hex;
    for (const Bytes& value : values) hex.push_back(ToHex(value.data(), value.size()));
    return hex;
}

namespace {

uint32_t Number(const std::string& raw) { return raw.empty() || raw == "null" ? 0 : std::stoul(raw); }

}  // namespace

std::map<std::string, ExpectedCatalog> ExpectedRealCatalogs() {
    std::map<std::string, ExpectedCatalog> expected;
    std::ifstream in(KORVA_SHARED_DIR "/realcats/expected.jsonl");
    for (std::string line; std::getline(in, line);) {
        ExpectedCatalog entry;
        entry.file = JsonString(line, "file");
        entry.accepted = JsonRaw(line, "verdict") == "\"accepted\"";
        entry.walk = Number(JsonRaw(line, "walk_result"));
        entry.members = JsonStrings(JsonRaw(line, "member_hashes"));
        // A refused walk collects only the members before the refusal.
        entry.members.resize(std::min<size_t>(entry.members.size(),
                                              Number(JsonRaw(line, "members_collected_before_stop"))));
        entry.signerValues = JsonStrings(JsonRaw(line, "signer_values"));
        entry.flags = Number(JsonRaw(line, "signer_flags"));
        entry.time = Number(JsonRaw(line, "time_value"));
        expected[entry.file] = entry;
    }
    return expected;
}

}  // namespace korva::catalog_test
